#pragma once

#include "app/MainWindow.h"
#include "app/settings/TProtocolSet.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

// "ProtocolSettings" opened from the tool bar and a port name typed over
// the one shown, as the user does; the window stays open for more choices.
inline void OpenSettingsAndTypePort(const QString &name) {
  QTest::mouseClick(Form1->UProtocol, Qt::LeftButton);
  QVERIFY(ProtocolSet->isVisible());
  QLineEdit *edit = ProtocolSet->ComPort->lineEdit();
  QTest::mouseClick(edit, Qt::LeftButton);
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(edit, name);
}
