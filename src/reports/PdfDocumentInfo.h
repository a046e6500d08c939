#pragma once

#include <QByteArray>
#include <QString>

namespace vantrel {

// Adds entries to the document information dictionary of a finished PDF by an incremental
// update: the information object is written again, with the extra entries, after the original
// file, followed by its own cross-reference section and trailer. The original bytes stay as
// they are. Used for the author, which the PDF writer itself cannot set.
class PdfDocumentInfo {
public:
    // The document with `/Author` set; the bytes unchanged when they do not end in a
    // cross-reference table whose trailer names an information dictionary.
    static QByteArray withAuthor(const QByteArray &pdf, const QString &author);

    // A PDF text string: UTF-16BE with a byte-order mark, in hexadecimal.
    static QByteArray textString(const QString &text);
};

} // namespace vantrel
