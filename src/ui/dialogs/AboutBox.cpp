#include "ui/dialogs/AboutBox.h"

#include "base/AppInfo.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

TAboutBox::TAboutBox(QWidget* Parent) : QDialog(Parent) {
    const QString Title = QString::fromStdString(brindle::ApplicationTitle());
    setWindowTitle("About " + Title);
    TitleLabel = new QLabel(Title, this);
    QFont Large = TitleLabel->font();
    Large.setPointSizeF(Large.pointSizeF() * 1.6);
    Large.setBold(true);
    TitleLabel->setFont(Large);
    TitleLabel->setAlignment(Qt::AlignCenter);
    VersionLabel = new QLabel(QString("Version ") + brindle::ui::VersionText, this);
    VersionLabel->setAlignment(Qt::AlignCenter);
    const QString Address = brindle::ui::HomePageAddress;
    HomePageLink =
        new QLabel("<a href=\"" + Address.toHtmlEscaped() + "\">" + Address.toHtmlEscaped() + "</a>", this);
    HomePageLink->setTextFormat(Qt::RichText);
    HomePageLink->setTextInteractionFlags(Qt::TextBrowserInteraction);
    HomePageLink->setAlignment(Qt::AlignCenter);
    // Opened by us rather than by the label, so the main menu's "Home Page" takes the same road.
    HomePageLink->setOpenExternalLinks(false);
    connect(HomePageLink, &QLabel::linkActivated, this, [] { OpenHomePage(); });
    OKButton = new QPushButton("OK", this);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(TitleLabel);
    Layout->addWidget(VersionLabel);
    Layout->addWidget(HomePageLink);
    Layout->addWidget(OKButton, 0, Qt::AlignCenter);
    Layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool TAboutBox::OpenHomePage() {
    return QDesktopServices::openUrl(QUrl(brindle::ui::HomePageAddress));
}
