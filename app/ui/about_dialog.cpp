#include "app/ui/about_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/core/about/library_versions.h"
#include "app/core/workbench/product_info.h"
#include "app/platform/shell.h"
#include "app/ui/skin.h"

namespace zorvex::app {

namespace {
const QString kHelpLink = QStringLiteral("help:");
}  // namespace

AboutDialog::AboutDialog(SettingsStore& settings, Shell& shell, std::function<void()> openHelp,
                         QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setWindowTitle(QStringLiteral("关于"));
    setObjectName(QStringLiteral("aboutDialog"));

    auto* name = new QLabel(kProductName + ' ' + kProductVersion, this);
    name->setObjectName(QStringLiteral("aboutVersion"));
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    name->setAlignment(Qt::AlignCenter);

    // Filled in when shown: the libraries may be loaded (or replaced) later.
    libraries_ = new QLabel(this);
    libraries_->setObjectName(QStringLiteral("aboutLibraries"));
    libraries_->setWordWrap(true);
    libraries_->setAlignment(Qt::AlignCenter);
    libraries_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    const auto link = [&](const QString& caption, const QString& url, const QString& shown) {
        auto* label = new QLabel(caption + QStringLiteral("<a href=\"%1\">%2</a>")
                                               .arg(url.toHtmlEscaped(), shown.toHtmlEscaped()),
                                 this);
        label->setTextFormat(Qt::RichText);
        label->setAlignment(Qt::AlignCenter);
        connect(label, &QLabel::linkActivated, this, [&shell, openHelp](const QString& target) {
            if (target == kHelpLink) {
                if (openHelp) openHelp();
            } else {
                shell.OpenUrl(QUrl(target));
            }
        });
        return label;
    };
    auto* help = link(QString(), kHelpLink, QStringLiteral("软件帮助"));
    help->setObjectName(QStringLiteral("aboutHelp"));
    auto* web = link(QStringLiteral("软件网站："), kWebsiteUrl, kWebsiteUrl);
    auto* mail = link(QStringLiteral("联系信箱："), kMailUrl, kMailAddress);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("aboutOk"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(10);
    layout->addWidget(name);
    layout->addWidget(libraries_);
    layout->addWidget(help);
    layout->addWidget(web);
    layout->addWidget(mail);
    layout->addStretch();
    layout->addLayout(buttons);
    setFixedSize(440, 300);
}

void AboutDialog::showEvent(QShowEvent* event) {
    ApplyStoredSkin(this, settings_);
    libraries_->setText(
        QStringLiteral("FFmpeg 库：%1\nQt 库：%2").arg(FFmpegVersionsText(), QtVersionText()));
    QDialog::showEvent(event);
}

}  // namespace zorvex::app
