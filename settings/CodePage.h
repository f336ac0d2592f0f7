#pragma once

#include <string>

// The single- or double-byte code page in which a dBASE table stores its
// texts, as its language driver byte (offset 29 of the header) declares it.
// Texts travel in UTF-8 on this side.
namespace CodePage {

// The iconv name of the page a language driver byte declares; a table that
// declares none, or one not known here, is read as Windows 1252, the page of
// the program's own tables.
std::string OfLanguageDriver(unsigned char languageDriver);

// A byte the page leaves undefined reads as the character of the same number,
// so that a text read and written back keeps its bytes.
std::string Decode(const std::string &bytes, const std::string &page);

// Returns false, and the characters the page has no byte for in
// `unstorable` (each once), when the text cannot be stored as it is.
bool Encode(const std::string &utf8, const std::string &page, std::string &bytes, std::string &unstorable);

} // namespace CodePage
