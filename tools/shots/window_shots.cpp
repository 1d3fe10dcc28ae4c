// zorvex-window-shots: pictures of the auxiliary windows with real content,
// for looking at their layout and texts. Run it on a display (scripts/
// window_shots.sh runs it under Xvfb):
//   zorvex-window-shots OUT_DIR MEDIA_FILE
// writes OUT_DIR/media_info.png (MEDIA_FILE's information), password.png,
// update.png (after a check against an update file served on 127.0.0.1), and
// the format windows: chooser.png, chooser_audio.png, settings.png and
// settings_skin4.png, settings_skin7.png (in a light and a dark skin), and the
// folder picker in those skins (folder_picker_skin4.png, ..._skin7.png).
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <cstdio>

#include "app/core/formats/duration_reader.h"
#include "app/core/formats/format_settings.h"
#include "app/core/lock/password_lock.h"
#include "app/core/mediainfo/media_info.h"
#include "app/core/update/update_check.h"
#include "app/platform/downloader.h"
#include "app/platform/machine_store.h"
#include "app/platform/settings_store.h"
#include "app/platform/shell.h"
#include "app/ui/format_chooser_dialog.h"
#include "app/ui/format_settings_dialog.h"
#include "app/ui/format_windows.h"
#include "app/ui/media_info_window.h"
#include "app/ui/password_window.h"
#include "app/ui/skin.h"
#include "app/ui/update_window.h"
#include "media/loader.h"
#include "media/probe.h"

namespace {

using namespace zorvex::app;

bool Save(QWidget& window, const QString& path) {
    window.show();
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    const bool ok = window.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    window.hide();
    return ok;
}

// Answers every request with one update-information file.
class UpdateServer : public QTcpServer {
public:
    explicit UpdateServer(QByteArray body) : body_(std::move(body)) {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n")) return;
                    socket->write(
                        "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                        QByteArray::number(body_.size()) + "\r\n\r\n" + body_);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

private:
    QByteArray body_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "Usage: zorvex-window-shots OUT_DIR MEDIA_FILE\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    MemorySettingsStore settings;
    bool ok = true;

    zorvex::Loader().SetLibraryFolder(zorvex::DefaultLibraryFolder());
    if (!zorvex::Loader().LoadLibrarySet(zorvex::ConverterLibrarySet)) {
        std::fprintf(stderr, "%s\n", zorvex::Loader().LastError().c_str());
        return 1;
    }
    zorvex::TAVProbe probe;
    MediaInfoWindow info(settings);
    info.SetTexts(MakeMediaInfoTexts(ProbeMediaInfo(probe, argv[2])));
    ok = Save(info, out + "/media_info.png") && ok;

    QTemporaryDir store;
    QDir().mkpath(FileMachineStore(store.path()).KeyFolder(kLockKeyPath));
    const FileMachineStore machine(store.path());
    const PasswordLock lock(machine);
    PasswordWindow password(lock, settings);
    password.show();
    password.findChild<QLineEdit*>("passwordEdit")->setText("secret");
    ok = Save(password, out + "/password.png") && ok;

    UpdateServer server(
        "[version]\r\nnew=1.70\r\ndate=2011-06-18\r\n"
        "links1=https://update.zorvex.example/zorvex-1.70.tar.gz\r\nsize=14.2 MB\r\n");
    if (!server.listen(QHostAddress::LocalHost)) return 1;
    QTemporaryDir folder;
    HttpDownloader downloader;
    RecordingShell shell;
    UpdateCheck check(downloader, shell,
                      QUrl(QString("http://127.0.0.1:%1/update.ini").arg(server.serverPort())),
                      folder.filePath("update.ini"));
    UpdateWindow update(check, settings);
    update.show();
    update.findChild<QPushButton*>("checkButton")->click();
    // show() again in Save() would reset the window for a new showing.
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    const bool updateOk = update.grab().save(out + "/update.png");
    std::printf("%s %s\n", updateOk ? "wrote" : "could not write", qPrintable(out + "/update.png"));

    int formatId = 0;
    FormatWindows formats(nullptr, formatId, settings, shell,
                          std::make_unique<FixedDurationReader>(3725'000'000LL));
    formats.OfferCutRange(true);
    FormatChooserDialog& chooser = formats.Chooser();
    chooser.Tabs()->setCurrentIndex(1);
    chooser.List(1)->setCurrentRow(5);
    ok = Save(chooser, out + "/chooser.png") && ok;
    chooser.Tabs()->setCurrentIndex(3);
    ok = Save(chooser, out + "/chooser_audio.png") && ok;
    TFormatSettings fmt;
    fmt.FmtSourceFile = "/home/user/视频/clip.avi";
    FormatSettingsDialog& settingsWindow = formats.Settings();
    settingsWindow.Prepare(4, fmt, "/home/user/Video_Directory");
    ok = Save(settingsWindow, out + "/settings.png") && ok;
    // In a light and a dark skin: check boxes, combo box arrows.
    for (const QString skin : {"skin4", "skin7"}) {
        ApplySkin(&settingsWindow, skin, QString());
        ok = Save(settingsWindow, out + "/settings_" + skin + ".png") && ok;
        // Qt's own folder picker in that skin: its tool buttons keep their icons.
        QFileDialog picker(nullptr, QStringLiteral("选择输出文件存放目录"), QDir::homePath());
        picker.setOption(QFileDialog::DontUseNativeDialog);
        picker.setFileMode(QFileDialog::Directory);
        ApplySkin(&picker, skin, QString());
        ok = Save(picker, out + "/folder_picker_" + skin + ".png") && ok;
    }
    return ok && updateOk ? 0 : 1;
}
