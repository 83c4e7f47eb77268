#pragma once

#include <QString>

class RecordSet;
class TextBox;

// Opens a memo's file: looks the memo's application up in the table of registered
// applications through the caller's path record set (which stays pointed at the lookup),
// reads the found program path and application ID from the caller's hidden boxes bound to
// that record set, and starts either the help viewer, driven to the keyword, or the
// registered program with the file. A registered program that cannot run here (a Windows
// program of the old memo book, a missing one) leaves the file to the help viewer, which says
// which program could not be started. A failed lookup ends it silently.
//
// keysForBlankKeyword: whether "%I", the keyword and "%D" follow the help viewer when the
// keyword is empty or a single blank (the display window sends them always, the entry
// window does not).
void OPEN_MEMO_FILE(const QString& applicationId, const QString& file, const QString& keyword, RecordSet& pathRecordSet,
                    const TextBox& foundPath, const TextBox& foundApplicationId, bool keysForBlankKeyword);
