#pragma once
// The about box: the program's title, its version and a link to its home page.
#include <QDialog>

class QLabel;
class QPushButton;

namespace brindle::ui {
// Shown by the about box and opened by the main menu's "Home Page".
inline constexpr const char* HomePageAddress = "https://example.org/brindle";
inline constexpr const char* VersionText = "1.05.001";
} // namespace brindle::ui

class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* Parent = nullptr);

    QLabel* TitleLabel;
    QLabel* VersionLabel;
    QLabel* HomePageLink;
    QPushButton* OKButton;

    // Opens the home page in the default browser; false when no browser took it.
    static bool OpenHomePage();
};
