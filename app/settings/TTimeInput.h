#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The "Time Control" window: edits the pause between the packages of a
// user's define sequence or the reply time-out, in ms. Made anew for each
// use and shown modally; the prompt tells it which time it edits.
class TTimeInput : public QDialog {
  Q_OBJECT
public:
  static const QString IntervalPrompt; // "Please input the value of package timeinterval"
  static const QString TimeoutPrompt;  // "Please input the value of package timeout"
  static const QString RangeMessage;   // "Please input data! Range:50-100000."

  // `intervalMs` and `timeoutMs` are the fields the window writes on "Ok".
  TTimeInput(const QString &prompt, int &intervalMs, int &timeoutMs, QWidget *parent = nullptr);

  QLabel *Label1 = nullptr;
  QLineEdit *Edit1 = nullptr;
  QPushButton *Button1 = nullptr; // "Ok"

  // Field check; false (after the message) when the value is empty or
  // outside 50 to 100000.
  bool Edit1Exit();
  void Button1Click();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  int &intervalMs_;
  int &timeoutMs_;
  bool checking_ = false;
};
