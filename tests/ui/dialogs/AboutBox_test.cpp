#include "ui/dialogs/AboutBox.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// Receives what would have gone to the browser.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> Opened;
  public slots:
    void open(const QUrl& Url) { Opened << Url; }
};

TEST(AboutBox, ShowsTitleAndVersionAndTheLinkOpensTheHomePage) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    TAboutBox box;
    EXPECT_EQ(box.TitleLabel->text(), "Quillon Brindle");
    EXPECT_TRUE(box.VersionLabel->text().contains("1.05.001"));
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    // Click the middle of the link text.
    const QRect text = box.HomePageLink->contentsRect();
    QTest::mouseClick(box.HomePageLink, Qt::LeftButton, {}, text.center());
    ASSERT_EQ(catcher.Opened.size(), 1);
    EXPECT_EQ(catcher.Opened[0], QUrl(brindle::ui::HomePageAddress));
    EXPECT_TRUE(TAboutBox::OpenHomePage());
    EXPECT_EQ(catcher.Opened.size(), 2);
    QDesktopServices::unsetUrlHandler("https");

    QTimer::singleShot(0, &box, [&box] { QTest::mouseClick(box.OKButton, Qt::LeftButton); });
    EXPECT_EQ(box.exec(), QDialog::Accepted);
}

} // namespace

#include "AboutBox_test.moc"
