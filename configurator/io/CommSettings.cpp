#include "CommSettings.h"

#include "HrcDocument.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex publishedMutex;
CommSettings publishedSettings;
} // namespace

CommSettings CommSettings::fromDocument(HrcDocument &document)
{
    CommSettings s;
    s.parity = document.paramValue(QStringLiteral("PrtY"));
    s.dataBits = document.paramValue(QStringLiteral("LEn"));
    s.port = document.paramValue(QStringLiteral("Port"));
    s.speed = document.paramValue(QStringLiteral("bPS"));
    s.stopBits = document.paramValue(QStringLiteral("Sbit"));
    s.address = document.paramValue(QStringLiteral("Addr"));
    s.addressMode = document.paramValue(QStringLiteral("A.Len"));
    return s;
}

void CommSettings::publish(const CommSettings &settings)
{
    QMutexLocker lock(&publishedMutex);
    publishedSettings = settings;
}

CommSettings CommSettings::published()
{
    QMutexLocker lock(&publishedMutex);
    return publishedSettings;
}
