#include "ui/views/NumberField.h"

#include <QLineEdit>
#include <QToolTip>

#include <algorithm>

namespace {

// Digits with an optional minus, short enough to be a number at all.
bool isNumber(const QString& Text, long long& Value) {
    if (Text.isEmpty() || Text.size() > 9) return false;
    bool ok = false;
    Value = Text.toLongLong(&ok);
    return ok;
}

} // namespace

TNumberField::TNumberField(const QString& Name, QWidget* Parent) : QSpinBox(Parent), Name(Name) {
    connect(lineEdit(), &QLineEdit::textChanged, this, [this](const QString& Text) {
        long long value = 0;
        ShowOutOfRange(*lineEdit(), isNumber(Text, value) && (value < minimum() || value > maximum()));
    });
}

QValidator::State TNumberField::validate(QString& Text, int& Pos) const {
    long long value = 0;
    if (isNumber(Text, value) && (value < minimum() || value > maximum())) return QValidator::Intermediate;
    return QSpinBox::validate(Text, Pos);
}

void TNumberField::fixup(QString& Text) const {
    long long value = 0;
    if (!isNumber(Text, value)) return QSpinBox::fixup(Text);
    const int used = int(std::clamp<long long>(value, minimum(), maximum()));
    if (used == value) return;
    Text = QString::number(used);
    const QString message = ClampText(Name, value, used, minimum(), maximum());
    QToolTip::showText(mapToGlobal(rect().bottomLeft()), message, const_cast<TNumberField*>(this));
    emit const_cast<TNumberField*>(this)->clamped(message);
}

void TNumberField::ShowOutOfRange(QLineEdit& Edit, bool Out) {
    Edit.setStyleSheet(Out ? "QLineEdit { color: white; background: #c03030; }" : QString());
}

QString TNumberField::ClampText(const QString& Name, long long Typed, int Used, int Min, int Max) {
    return QString("%1: %2 is out of range (%3 to %4); using %5").arg(Name).arg(Typed).arg(Min).arg(Max).arg(Used);
}
