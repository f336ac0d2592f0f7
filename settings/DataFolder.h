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
