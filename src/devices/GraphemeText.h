#pragma once

#include <QString>

namespace vantrel {

// Text measured in user-perceived characters (grapheme clusters), not UTF-16 code units: an emoji
// with a skin tone or a letter with a combining accent counts as one.
class GraphemeText {
public:
    static qsizetype count(const QString &text);
    // The first / last `limit` user-perceived characters (the whole text when it is shorter).
    static QString left(const QString &text, qsizetype limit);
    static QString right(const QString &text, qsizetype limit);

private:
    GraphemeText() = delete;
};

} // namespace vantrel
