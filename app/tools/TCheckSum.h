#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The "Check Sum" window: the CRC-16 and the LRC of a byte string typed as hex
// digits. Opened modally from "Tool" > "CheckSum"; a new one for each opening.
class TCheckSumBox : public QDialog {
  Q_OBJECT
public:
  explicit TCheckSumBox(QWidget *parent = nullptr);

  QLabel *Label1 = nullptr;
  QLabel *Label2 = nullptr;
  QLabel *Label5 = nullptr;
  QLineEdit *UinputText = nullptr;
  QLabel *UcrcSum = nullptr;
  QLabel *UlrcSum = nullptr;
  QLabel *Label6 = nullptr;
  QPushButton *CalButton = nullptr;
  QPushButton *Uclose = nullptr;

  void CalButtonClick();
  void UcloseClick();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override; // key filter of UinputText
};
