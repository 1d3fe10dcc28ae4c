#include "app/ui/about_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/core/workbench/product_info.h"
#include "app/platform/shell.h"
#include "app/ui/skin.h"

namespace zorvex::app {

AboutDialog::AboutDialog(SettingsStore& settings, Shell& shell, QWidget* parent)
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

    const auto link = [&](const QString& caption, const QString& url, const QString& shown) {
        auto* label = new QLabel(caption + QStringLiteral("<a href=\"%1\">%2</a>")
                                               .arg(url.toHtmlEscaped(), shown.toHtmlEscaped()),
                                 this);
        label->setTextFormat(Qt::RichText);
        label->setAlignment(Qt::AlignCenter);
        connect(label, &QLabel::linkActivated, this,
                [&shell](const QString& target) { shell.OpenUrl(QUrl(target)); });
        return label;
    };
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
    layout->addWidget(web);
    layout->addWidget(mail);
    layout->addStretch();
    layout->addLayout(buttons);
    setFixedSize(360, 200);
}

void AboutDialog::showEvent(QShowEvent* event) {
    ApplyStoredSkin(this, settings_);
    QDialog::showEvent(event);
}

}  // namespace zorvex::app
