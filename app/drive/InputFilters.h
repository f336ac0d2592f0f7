#pragma once

#include "drive/FieldCheck.h"

#include <QObject>
#include <QString>
#include <functional>
#include <initializer_list>

class QComboBox;
class QLineEdit;
class QWidget;

// Key filters and "field left" checks of the drive panels.
namespace InputFilters {

// Lets the user type (or paste) only characters matching the character class,
// e.g. "0-9" or "0-9A-F"; backspace and editing keys keep working.
void AllowOnly(QLineEdit *edit, const QString &characterClass);
void AllowOnly(QComboBox *combo, const QString &characterClass);

// Runs onExit when the keyboard focus moves from field to another control of
// the same window (tab, click, shortcut). Opening a pop-up or a message box,
// or switching windows, does not count as leaving the field. While one field
// check runs (it may show a message and take the focus back), the focus moves
// it causes do not start other checks.
void OnFieldExit(QWidget *field, std::function<void()> onExit);

// Runs now the field checks queued by the last focus change (a click on a
// button moves the focus away from a field before the button acts); true
// when one of `fields` was refused. A button that checks these fields itself
// runs this first and stops on a refusal, so one mistake shows one message.
bool RunPendingFieldChecks(std::initializer_list<const QWidget *> fields);

// Runs onPress when any mouse button goes down on the widget and onRelease
// when it comes up again (a double click counts as a second press).
void OnMouseButtons(QWidget *widget, std::function<void()> onPress, std::function<void()> onRelease);

// Shows the message of a refused field, puts the focus back into it and, when
// the check asks for it, selects the field's text.
void RefuseField(QWidget *field, const FieldCheck &check);

} // namespace InputFilters
