#pragma once

#include "engine/ImportedDesign.h"

#include <QString>

namespace vantrel::cli {

// Imports a design from a link (Figma, image or web page), waiting for it in a local event loop
// and printing each progress step as one line on stderr. The Figma token comes from
// VANTREL_FIGMA_TOKEN, else the keychain. Throws what the import throws.
ImportedDesign importDesignLink(const QString &link);

// True when the text is an http(s) link rather than a file path.
bool isLink(const QString &text);

// The Figma token: VANTREL_FIGMA_TOKEN when set, else the one in the keychain (empty without one).
QString figmaToken();

} // namespace vantrel::cli
