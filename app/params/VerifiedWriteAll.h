#pragma once

#include <QString>

class TForm1;

// The window's side of write all with verification: which records it leaves
// alone, what it notes of each write, and the switch from writing to
// reading back. The reads themselves are TForm1::ReadBackStep.
namespace VerifiedWriteAll {

// False (and noted) when the current record is read-only or its stored
// value lies outside the record's MIN and MAX: it is not written.
bool MayWrite(TForm1 &form, const QString &code, const QString &stored);
// Notes the write that the parameter window has just prepared for `code`.
void NoteWrite(TForm1 &form, const QString &code);
// The last record is done: the run goes on reading back what was written.
void StartReadBack(TForm1 &form);

} // namespace VerifiedWriteAll
