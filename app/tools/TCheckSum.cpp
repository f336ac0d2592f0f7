#include "app/tools/TCheckSum.h"

#include "protocol/Frames.h"
#include "protocol/HexText.h"
#include "tools/CheckSumInput.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString CrcCaption = QStringLiteral("CRC_16 checksum =");
const QString LrcCaption = QStringLiteral("LRC checksum =");

// A typed text passes the filter when every printable character in it is
// accepted; control characters (editing keys, shortcuts) always pass.
bool PassesKeyFilter(const QString &typed) {
  for (const QChar ch : typed) {
    const char16_t code = ch.unicode();
    if (code < 0x20 || code == 0x7F)
      continue;
    if (code > 0x7F || !IsCheckSumKey(static_cast<char>(code)))
      return false;
  }
  return true;
}
} // namespace

TCheckSumBox::TCheckSumBox(QWidget *parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Check Sum"));
  setFixedSize(612, 328);

  Label1 = new QLabel(QStringLiteral("Calculate checksum"), this);
  QFont titleFont = Label1->font();
  titleFont.setBold(true);
  titleFont.setPointSize(titleFont.pointSize() + 5);
  Label1->setFont(titleFont);
  Label2 = new QLabel(
      QStringLiteral(
          "Input hexacecimal value series in the follow text.Eech character should show by two digital. "),
      this);
  Label5 =
      new QLabel(QStringLiteral("EX:   1,2 20,0(Dec) input as 01021400(Hex).        The number of Max input "
                                "character is 60."),
                 this);
  UinputText = new QLineEdit(this);
  UinputText->installEventFilter(this);
  UcrcSum = new QLabel(CrcCaption, this);
  UlrcSum = new QLabel(LrcCaption, this);
  Label6 = new QLabel(QStringLiteral("Hint: "), this);
  CalButton = new QPushButton(QStringLiteral("Calculate"), this);
  CalButton->setDefault(true);
  Uclose = new QPushButton(QStringLiteral("Close"), this);

  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 16, 24, 16);
  layout->addWidget(Label1, 0, Qt::AlignHCenter);
  layout->addSpacing(8);
  layout->addWidget(Label2);
  layout->addWidget(Label5);
  layout->addWidget(UinputText);
  layout->addSpacing(8);
  layout->addWidget(UcrcSum);
  layout->addWidget(UlrcSum);
  layout->addWidget(Label6);
  layout->addStretch(1);
  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(CalButton);
  buttons->addWidget(Uclose);
  layout->addLayout(buttons);

  connect(CalButton, &QPushButton::clicked, this, &TCheckSumBox::CalButtonClick);
  connect(Uclose, &QPushButton::clicked, this, &TCheckSumBox::UcloseClick);
}

void TCheckSumBox::CalButtonClick() {
  const QString text = UinputText->text();
  if (static_cast<std::size_t>(text.size()) > MaxCheckSumDigits) {
    // This hint stays until the window closes, also after later good input.
    Label6->setText(QStringLiteral("Hint: Input data length out of range!"));
    return;
  }
  const std::string digits = text.toStdString();
  UlrcSum->setText(LrcCaption + QString::fromStdString(ComputeLRC(digits)));
  // A pasted pair that is not hex raises the conversion error here; the LRC
  // has been shown already and the CRC keeps its previous text.
  const std::vector<std::uint8_t> bytes = HexPairsToBytes(digits);
  UcrcSum->setText(CrcCaption + QString::fromStdString(ComputeCRC16(bytes, bytes.size())));
}

void TCheckSumBox::UcloseClick() { close(); }

bool TCheckSumBox::eventFilter(QObject *watched, QEvent *event) {
  if (watched == UinputText && event->type() == QEvent::KeyPress) {
    auto *key = static_cast<QKeyEvent *>(event);
    if (!PassesKeyFilter(key->text()))
      return true; // discarded
  }
  return QDialog::eventFilter(watched, event);
}
