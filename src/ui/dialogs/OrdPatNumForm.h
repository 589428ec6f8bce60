#pragma once
// The order list's "Order Edit" box: one pattern number, 0 (no pattern) to 100, typed or stepped
// with the small arrow buttons beside the field.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

class TOrdPatNumForm : public QDialog {
    Q_OBJECT

public:
    static constexpr int MaxNumber = 100;

    explicit TOrdPatNumForm(QWidget* Parent = nullptr);

    // The field as a whole number; a field that holds no number reads as 1.
    int Value() const;
    void SetValue(int Number);

    QLineEdit* PatNumEdit;
    QToolButton* UpBtn;
    QToolButton* DownBtn;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    // Says that a typed number was brought into range.
    QLabel* RangeNote;

    void accept() override;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    // The field as the arrow buttons count it: no number is 0.
    int Stepped() const;
};
