// "视频信息提示": the container, video and audio properties of one source file.
#pragma once

#include <QDialog>
#include <QMap>
#include <QString>

#include "app/core/mediainfo/media_info.h"

class QLabel;

namespace zorvex::app {

class SettingsStore;

class MediaInfoWindow : public QDialog {
    Q_OBJECT
public:
    explicit MediaInfoWindow(const SettingsStore& settings, QWidget* parent = nullptr);

    // The texts the labels take when the window is shown next.
    void SetTexts(const MediaInfoTexts& texts) { texts_ = texts; }
    // The value label's text beside a caption such as "文件名："; for tests.
    QString ShownText(const QString& caption) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillLabels();

    const SettingsStore& settings_;
    MediaInfoTexts texts_;
    QMap<QString, QLabel*> values_;  // by caption
};

// The "信息" command and a double click on a queue row: shows the media
// information of file modally. False, and nothing shown, when file is not an
// existing file or the probe's libraries are not loaded.
bool ShowMediaInformation(QWidget* parent, TCustomAVProbe& probe, const QString& file,
                          const SettingsStore& settings);

}  // namespace zorvex::app
