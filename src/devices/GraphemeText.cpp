#include "devices/GraphemeText.h"

#include <QTextBoundaryFinder>

namespace vantrel {

qsizetype GraphemeText::count(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype clusters = 0;
    while (finder.toNextBoundary() > 0)
        ++clusters;
    return clusters;
}

QString GraphemeText::left(const QString &text, qsizetype limit)
{
    // Each cluster holds at least one code unit, so a short text needs no scan.
    if (text.size() <= limit)
        return text;
    if (limit <= 0)
        return {};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype position = 0;
    for (qsizetype taken = 0; taken < limit; ++taken) {
        position = finder.toNextBoundary();
        if (position < 0)
            return text;
    }
    return text.left(position);
}

QString GraphemeText::right(const QString &text, qsizetype limit)
{
    if (text.size() <= limit)
        return text;
    if (limit <= 0)
        return {};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.toEnd();
    qsizetype position = text.size();
    for (qsizetype taken = 0; taken < limit; ++taken) {
        position = finder.toPreviousBoundary();
        if (position < 0)
            return text;
    }
    return text.mid(position);
}

} // namespace vantrel
