#include "ui/dialogs/OrdPatNumForm.h"

#include "ui/views/NumberField.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>

namespace {

// Whole numbers only. One past 100 stays as typed, shown in red, and is brought into range on
// Enter: cutting the last digit off would turn 150 into 15 without a word.
class TPatNumValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& Input, int&) const override {
        if (Input.isEmpty()) return Intermediate;
        if (Input.size() > 6) return Invalid;
        for (QChar c : Input)
            if (!c.isDigit() || c.unicode() > '9') return Invalid;
        return Input.toInt() <= TOrdPatNumForm::MaxNumber ? Acceptable : Intermediate;
    }
};

QToolButton* arrowButton(Qt::ArrowType Arrow, QWidget* Parent) {
    auto* b = new QToolButton(Parent);
    b->setArrowType(Arrow);
    b->setAutoRepeat(true);
    // The field keeps the focus while the number is stepped.
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedSize(16, 11);
    return b;
}

} // namespace

TOrdPatNumForm::TOrdPatNumForm(QWidget* Parent) : QDialog(Parent) {
    setWindowTitle("Order Edit");
    auto* label = new QLabel("Pattern number:", this);
    PatNumEdit = new QLineEdit("1", this);
    PatNumEdit->setObjectName("PatNumEdit");
    PatNumEdit->setValidator(new TPatNumValidator(PatNumEdit));
    PatNumEdit->setMaximumWidth(60);
    label->setBuddy(PatNumEdit);
    RangeNote = new QLabel(this);
    RangeNote->setObjectName("RangeNote");
    RangeNote->hide();
    connect(PatNumEdit, &QLineEdit::textChanged, this, [this] {
        TNumberField::ShowOutOfRange(*PatNumEdit, Stepped() > MaxNumber);
        RangeNote->hide();
    });
    UpBtn = arrowButton(Qt::UpArrow, this);
    DownBtn = arrowButton(Qt::DownArrow, this);
    OKBtn = new QPushButton("OK", this);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton("Cancel", this);

    connect(UpBtn, &QToolButton::clicked, this, [this] { SetValue(std::min(Stepped() + 1, MaxNumber)); });
    connect(DownBtn, &QToolButton::clicked, this, [this] { SetValue(std::max(Stepped() - 1, 1)); });
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* arrows = new QVBoxLayout;
    arrows->setSpacing(0);
    arrows->addWidget(UpBtn);
    arrows->addWidget(DownBtn);
    auto* field = new QHBoxLayout;
    field->setSpacing(1);
    field->addWidget(label);
    field->addSpacing(6);
    field->addWidget(PatNumEdit);
    field->addLayout(arrows);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(field);
    layout->addWidget(RangeNote);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

int TOrdPatNumForm::Value() const {
    bool ok = false;
    const int n = PatNumEdit->text().toInt(&ok);
    return ok ? n : 1;
}

void TOrdPatNumForm::accept() {
    // An out-of-range number is brought into range and said; the next Enter takes it.
    if (const int typed = Stepped(); typed > MaxNumber) {
        SetValue(MaxNumber);
        RangeNote->setText(TNumberField::ClampText("Pattern number", typed, MaxNumber, 0, MaxNumber));
        RangeNote->show();
        return;
    }
    QDialog::accept();
}

void TOrdPatNumForm::SetValue(int Number) { PatNumEdit->setText(QString::number(Number)); }

int TOrdPatNumForm::Stepped() const {
    bool ok = false;
    const int n = PatNumEdit->text().toInt(&ok);
    return ok ? n : 0;
}

void TOrdPatNumForm::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    PatNumEdit->setFocus(Qt::OtherFocusReason);
    PatNumEdit->selectAll();
}
