#pragma once

#include <QString>

// Makes sure the data folder exists and holds the four tables the program
// needs; a missing table is copied from `templateFolder` when that holds it
// (an administrator may have changed the templates for every user),
// otherwise created with its delivered contents. An existing table is never
// touched. Files left by a save that was cut short are removed. Returns an
// empty text on success, otherwise a message that says what could not be
// made.
QString EnsureDataFolder(const QString &folder, const QString &templateFolder = {});

// Copies a table whose values could not all be read to a file beside it
// ("usercmd-kept-20261207-130102.dbf"), before a save writes over them.
// Returns the copy's file name, or an empty text when no copy was made.
QString KeepCopyOfTable(const QString &tablePath);
