#pragma once
// A whole-number field that keeps what was typed: a number outside its range shows in red rather
// than losing its last digit, and Enter (or leaving the field) brings it to the nearest end of
// the range with a message saying so.
#include <QSpinBox>
#include <QString>

class QLineEdit;

class TNumberField : public QSpinBox {
    Q_OBJECT

  public:
    // Name starts the message: "Len: 999 is out of range (1 to 500); using 500".
    explicit TNumberField(const QString& Name, QWidget* Parent = nullptr);

    QValidator::State validate(QString& Text, int& Pos) const override;
    void fixup(QString& Text) const override;

    // Marks Edit red while Out is true, as typed.
    static void ShowOutOfRange(QLineEdit& Edit, bool Out);
    static QString ClampText(const QString& Name, long long Typed, int Used, int Min, int Max);

  signals:
    void clamped(const QString& Message);

  private:
    QString Name;
};
