#pragma once

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QString>
#include <QStringList>

namespace vantrel::cli {

// Parses a command's arguments (without the program and command names); unknown options and
// stray arguments are errors that name what was wrong.
void parseArguments(QCommandLineParser &parser, const QStringList &arguments, const QString &usage);

// A required option's value, or a CliError naming the option.
QString requiredValue(const QCommandLineParser &parser, const QString &option);

// Reads a whole file, or throws CliError naming it.
QByteArray readWholeFile(const QString &path);

// Writes text to a file (atomically) or, for "-", to stdout.
void writeOutput(const QString &target, const QByteArray &bytes);

// One line on stderr (progress and warnings).
void printLine(const QString &line);
// Text on stdout.
void printOut(const QString &text);

} // namespace vantrel::cli
