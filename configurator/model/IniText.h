#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>

// The text of an INI file made in memory, byte for byte as QSettings
// (IniFormat) writes a new file with the same entries, so that a file can be
// written whole through AtomicFile and read back by QSettings. Values of
// any kind QSettings stores (strings, lists, byte arrays, rectangles, ...).
class IniText
{
public:
    // Full keys as QSettings takes them ("group/key", or "key" for the
    // General group) to their values.
    using Entries = QMap<QString, QVariant>;

    // utf8: non-ASCII characters as UTF-8 (QSettings::setIniCodec("UTF-8"));
    // otherwise as \x escapes (no codec set).
    static QByteArray make(const Entries &entries, bool utf8);
};
