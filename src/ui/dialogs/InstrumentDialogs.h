#pragma once
// The two small dialogs of the instrument commands: "Fit" (how many pattern rows a sample should
// last) and "Dialog" (the hot key an instrument is bound to).
#include <QDialog>
#include <QKeySequence>

class QComboBox;
class QDialogButtonBox;
class QLineEdit;

class TRowsFitDialog : public QDialog {
    Q_OBJECT

  public:
    explicit TRowsFitDialog(QWidget* Parent = nullptr);
    QComboBox* Rows;
    // The chosen number of rows; 16 when the text is not a number.
    double RowCount() const;
};

class Tdialog_Key : public QDialog {
    Q_OBJECT

  public:
    explicit Tdialog_Key(QWidget* Parent = nullptr);
    // Shows the key combination last pressed in it (initially Ctrl+A).
    QLineEdit* HotKey1;
    QDialogButtonBox* Buttons;
    // The chosen key combination (one key with Ctrl, Alt or Meta; plain and Shift-only keys are refused).
    QKeySequence Key() const { return Chosen; }
    static bool Acceptable(const QKeySequence& Key);

  protected:
    void showEvent(QShowEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

  private:
    void SetKey(const QKeySequence& Key);
    QKeySequence Chosen;
};
