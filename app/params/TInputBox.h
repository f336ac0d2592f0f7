#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The "Input Box": reads one function parameter from the drive or writes a
// new value to it. Its buttons only prepare a request through the main
// window's parameter runs, which raise the pending flag; the send timer
// sends it, and the main window fills UreadFunc and InputboxHint from what
// the runs report while the window is open. Created hidden
// at start-up (after TUmotorPara) and kept for the whole run.
class TInputBox : public QDialog {
  Q_OBJECT
public:
  explicit TInputBox(QWidget *parent = nullptr);

  QLabel *Label1 = nullptr;
  QLabel *Label4 = nullptr;
  QLabel *Label3 = nullptr; // range prompt
  // The code and name of the parameter the window reads and writes.
  QLabel *ParameterName = nullptr;
  QLineEdit *UmodifyFunc = nullptr;
  QPushButton *Button1 = nullptr; // "Modify"
  QLabel *Label5 = nullptr;
  QLineEdit *UreadFunc = nullptr;
  QPushButton *Button4 = nullptr; // "read"
  QPushButton *Button3 = nullptr; // "Close"
  // Status line; the receive path writes its error hint here as well.
  QLabel *InputboxHint = nullptr;

  void Button4Click(); // read
  // Modify; true when a write request was prepared.
  bool Button1Click();
  void Button3Click(); // close

  // Names the parameter the window acts on ("F113  Target Frequency"); a
  // value read of another parameter is cleared.
  void ShowParameter(const QString &code, const QString &name);
  // A value read from the drive, of the parameter `code`.
  void ShowReadValue(const QString &code, const QString &text);

  // Sets the status line.
  void SetHint(const QString &text);

protected:
  void showEvent(QShowEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  bool AcceptsKey(const QString &text) const;
  bool RangeAdmits(const QString &value);
  QString readCode_; // whose value UreadFunc shows
};
