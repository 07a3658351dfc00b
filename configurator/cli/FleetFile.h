#pragma once

#include <QCoreApplication>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

// One controller of a fleet file: its name (the folder of its backups and
// reports) and its link settings as the link options of hrc417 name them.
struct FleetSite
{
    QString name;
    int line = 0;                   // where its row starts in the file
    QHash<QString, QString> values; // "port", "address", "baud", ...: as given
};

// The fleet file an engineer keeps in a spreadsheet or a text editor: CSV
// with a header row, then one site per row. The separator (";" or ",") is
// the one the header row uses; fields may be quoted as RFC 4180 allows
// (separators, quotes written twice and line breaks inside quotes); a line
// starting with "#" is a comment, an empty line is skipped. The columns name,
// port and address are required; baud, parity, data-bits, stop-bits and
// timeout are optional and take the values of the link options.
class FleetFile
{
    Q_DECLARE_TR_FUNCTIONS(FleetFile)

public:
    // The columns, required first.
    static const QStringList &columns();

    // Reads the file; false with *error naming the file, the line and the
    // column of the first fault. speeds: the speeds the device takes.
    static bool load(const QString &path, const QStringList &speeds, QVector<FleetSite> *sites, QString *error);
    // The same for the file's text; fileName only names it in messages.
    static bool parse(const QByteArray &text, const QString &fileName, const QStringList &speeds,
                      QVector<FleetSite> *sites, QString *error);
};
