// Placeholder until the engine's run control lands: the component answers every
// request with a clear failure instead of a link error.
#include "media/converter.h"

#include "media/exception.h"
#include "media/loader.h"

namespace zorvex {

namespace {
TPreviewWindowFactory g_previewFactory;
constexpr const char* kUnavailable = "the converter is not available in this build";
}  // namespace

void SetPreviewWindowFactory(TPreviewWindowFactory factory) { g_previewFactory = std::move(factory); }

struct TCustomDAdadiZUZ::Impl {
    TAVProbe probe;
    std::string lastError;
    bool preview = false, previewBitmap = false, mainThread = true;
    int progressInterval = 500;
    TThreadPriority priority = tpNormal;
};

TCustomDAdadiZUZ::TCustomDAdadiZUZ() : impl_(std::make_unique<Impl>()) {}
TCustomDAdadiZUZ::~TCustomDAdadiZUZ() = default;
bool TCustomDAdadiZUZ::LibrariesLoaded() const { return Loader().LibrarySetLoaded(ConverterLibrarySet); }
bool TCustomDAdadiZUZ::LoadLibraries(const std::string& folder) {
    Loader().SetLibraryFolder(folder);
    if (Loader().LoadLibrarySet(ConverterLibrarySet)) return true;
    impl_->lastError = Loader().LastError();
    return false;
}
int TCustomDAdadiZUZ::AddTask(const std::string&, const TInputOptions*) {
    impl_->lastError = kUnavailable;
    return -1;
}
bool TCustomDAdadiZUZ::SetOutputFile(int, const std::string&, const TOutputOptions*) {
    impl_->lastError = kUnavailable;
    return false;
}
void TCustomDAdadiZUZ::RemoveTask(int) { throw Exception("List index out of bounds"); }
void TCustomDAdadiZUZ::ClearTasks() { impl_->lastError.clear(); }
int TCustomDAdadiZUZ::TaskCount() const { return 0; }
void TCustomDAdadiZUZ::StartTask(int) {
    if (OnTerminate) OnTerminate(this, TTerminateInfo{-1, true, false, {}});
}
void TCustomDAdadiZUZ::PauseTask() {}
void TCustomDAdadiZUZ::ResumeTask() {}
void TCustomDAdadiZUZ::StopTask(bool) {}
AVFormatContext* TCustomDAdadiZUZ::InputFormatContext(int, int) const { return nullptr; }
TAVProbe& TCustomDAdadiZUZ::AVProbe() { return impl_->probe; }
std::string TCustomDAdadiZUZ::LastError() const { return impl_->lastError; }
bool TCustomDAdadiZUZ::Preview() const { return impl_->preview; }
void TCustomDAdadiZUZ::SetPreview(bool v) { impl_->preview = v; }
bool TCustomDAdadiZUZ::PreviewBitmap() const { return impl_->previewBitmap; }
void TCustomDAdadiZUZ::SetPreviewBitmap(bool v) { impl_->previewBitmap = v; }
int TCustomDAdadiZUZ::ProgressInterval() const { return impl_->progressInterval; }
void TCustomDAdadiZUZ::SetProgressInterval(int ms) { impl_->progressInterval = ms < 100 ? 100 : ms; }
TThreadPriority TCustomDAdadiZUZ::ThreadPriority() const { return impl_->priority; }
void TCustomDAdadiZUZ::SetThreadPriority(TThreadPriority v) { impl_->priority = v; }
bool TCustomDAdadiZUZ::TriggerEventInMainThread() const { return impl_->mainThread; }
void TCustomDAdadiZUZ::SetTriggerEventInMainThread(bool v) { impl_->mainThread = v; }

}  // namespace zorvex
