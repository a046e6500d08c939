#include "reports/PdfDocumentInfo.h"

#include <QRegularExpression>

#include <optional>

namespace vantrel {

namespace {

struct Trailer {
    QByteArray infoReference; // "N G"
    QByteArray rootReference;
    QByteArray size;
    QByteArray id; // the /ID array with its key, or empty
    qint64 crossReferenceOffset = 0;
};

std::optional<Trailer> lastTrailer(const QByteArray &pdf)
{
    const qsizetype trailerAt = pdf.lastIndexOf("trailer");
    const qsizetype startAt = pdf.lastIndexOf("startxref");
    if (trailerAt < 0 || startAt < trailerAt)
        return std::nullopt;
    const QString dictionary = QString::fromLatin1(pdf.mid(trailerAt, startAt - trailerAt));
    const QString tail = QString::fromLatin1(pdf.mid(startAt));
    static const QRegularExpression info(QStringLiteral("/Info\\s+(\\d+\\s+\\d+)\\s+R"));
    static const QRegularExpression root(QStringLiteral("/Root\\s+(\\d+\\s+\\d+)\\s+R"));
    static const QRegularExpression size(QStringLiteral("/Size\\s+(\\d+)"));
    static const QRegularExpression id(QStringLiteral("/ID\\s*\\[[^\\]]*\\]"));
    static const QRegularExpression offset(QStringLiteral("^startxref\\s+(\\d+)\\s"));
    const auto infoMatch = info.match(dictionary);
    const auto rootMatch = root.match(dictionary);
    const auto sizeMatch = size.match(dictionary);
    const auto offsetMatch = offset.match(tail);
    if (!infoMatch.hasMatch() || !rootMatch.hasMatch() || !sizeMatch.hasMatch() || !offsetMatch.hasMatch())
        return std::nullopt;
    Trailer trailer;
    trailer.infoReference = infoMatch.captured(1).simplified().toLatin1();
    trailer.rootReference = rootMatch.captured(1).simplified().toLatin1();
    trailer.size = sizeMatch.captured(1).toLatin1();
    trailer.id = id.match(dictionary).captured(0).toLatin1();
    trailer.crossReferenceOffset = offsetMatch.captured(1).toLongLong();
    return trailer;
}

// The dictionary of object "N G obj ... endobj", without its delimiters.
std::optional<QByteArray> objectDictionary(const QByteArray &pdf, const QByteArray &reference)
{
    const QByteArray header = reference + " obj";
    qsizetype at = 0;
    while ((at = pdf.indexOf(header, at)) >= 0) {
        // A match must start a line, not end a longer number.
        if (at == 0 || pdf.at(at - 1) == '\n' || pdf.at(at - 1) == '\r')
            break;
        at += header.size();
    }
    if (at < 0)
        return std::nullopt;
    const qsizetype end = pdf.indexOf("endobj", at);
    if (end < 0)
        return std::nullopt;
    const QByteArray body = pdf.mid(at + header.size(), end - at - header.size()).trimmed();
    if (!body.startsWith("<<") || !body.endsWith(">>"))
        return std::nullopt;
    return body.mid(2, body.size() - 4);
}

} // namespace

QByteArray PdfDocumentInfo::textString(const QString &text)
{
    QByteArray hex = "<FEFF";
    for (const QChar unit : text)
        hex += QByteArray::number(unit.unicode() | 0x10000, 16).mid(1).toUpper();
    return hex + '>';
}

QByteArray PdfDocumentInfo::withAuthor(const QByteArray &pdf, const QString &author)
{
    const std::optional<Trailer> trailer = lastTrailer(pdf);
    if (!trailer)
        return pdf;
    const std::optional<QByteArray> entries = objectDictionary(pdf, trailer->infoReference);
    if (!entries)
        return pdf;

    QByteArray out = pdf;
    if (!out.endsWith('\n'))
        out += '\n';
    const qsizetype objectOffset = out.size();
    out += trailer->infoReference + " obj\n<<\n/Author " + textString(author) + '\n' + entries->trimmed()
           + "\n>>\nendobj\n";
    const qsizetype crossReferenceOffset = out.size();
    const QByteArray objectNumber = trailer->infoReference.split(' ').first();
    const QByteArray generation = trailer->infoReference.split(' ').last();
    out += "xref\n" + objectNumber + " 1\n";
    // Each entry is exactly 20 bytes: 10-digit offset, 5-digit generation, "n", blank and line feed.
    out += QByteArray::number(objectOffset).rightJustified(10, '0') + ' '
           + generation.rightJustified(5, '0') + " n \n";
    out += "trailer\n<<\n/Size " + trailer->size + "\n/Root " + trailer->rootReference + " R\n/Info "
           + trailer->infoReference + " R\n";
    if (!trailer->id.isEmpty())
        out += trailer->id + '\n';
    out += "/Prev " + QByteArray::number(trailer->crossReferenceOffset) + "\n>>\nstartxref\n"
           + QByteArray::number(crossReferenceOffset) + "\n%%EOF\n";
    return out;
}

} // namespace vantrel
