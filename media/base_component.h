#pragma once

namespace zorvex {

// Common root of the media component family (converter, logger, probe, player).
class TFFBaseComponent {
public:
    TFFBaseComponent() = default;
    virtual ~TFFBaseComponent() = default;
    TFFBaseComponent(const TFFBaseComponent&) = delete;
    TFFBaseComponent& operator=(const TFFBaseComponent&) = delete;
};

}  // namespace zorvex
