#pragma once

// The few spellings that differ between Qt 5.15 and Qt 6, each once, so that
// no other file needs to ask which Qt it is built with. Everything that one
// spelling serves in both is written that way where it is used.

#include <QLibraryInfo>
#include <QPointF>
#include <QSettings>
#include <QString>

namespace QtCompat {

// Where Qt's own translations (qtbase_*.qm) are installed.
inline QString translationsPath()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    return QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
}

// Whether QSettings writes an ini file's non-ASCII characters as UTF-8 without
// being asked (Qt 6 always does; Qt 5 escapes them unless told otherwise).
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
constexpr bool iniAlwaysUtf8 = true;
#else
constexpr bool iniAlwaysUtf8 = false;
#endif

// Whether QSettings writes a date's "@DateTime(...)" bytes escaped even in a
// UTF-8 file, as it does "@ByteArray(...)" (Qt 6), or through the UTF-8
// encoding (Qt 5). Either form reads back the same.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
constexpr bool iniEscapesDateTime = true;
#else
constexpr bool iniEscapesDateTime = false;
#endif

// Makes settings write and read an ini file's non-ASCII characters as UTF-8.
inline void useUtf8(QSettings &settings)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    Q_UNUSED(settings)
#else
    settings.setIniCodec("UTF-8");
#endif
}

// A mouse event's position in the receiving widget and on the screen
// (templates, so that this header needs Qt Core alone).
template <typename MouseEvent>
QPointF eventPosition(const MouseEvent *event)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return event->position();
#else
    return event->localPos();
#endif
}

template <typename MouseEvent>
QPointF eventGlobalPosition(const MouseEvent *event)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return event->globalPosition();
#else
    return event->screenPos();
#endif
}

} // namespace QtCompat
