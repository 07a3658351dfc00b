#pragma once

#include "ParameterSpec.h"
#include "ResultCode.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QDomElement>
#include <QVector>
#include <QHash>
#include <QMap>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

// The device description document and every rule that reads or writes it
// without a widget: lookups by name, the working value, display texts and the
// X/Y children of point parameters.
//
// HrcDocument is a small value object: copies share the same DOM nodes (Qt's
// implicit sharing), so a value written through one copy is seen by all. Qt's DOM
// classes are reentrant, not thread-safe: any thread may use these operations
// (the I/O workers do), provided no other thread reads or writes the same
// document at the same time. The windows guarantee that by disabling the tree
// while a job runs. Captions and entries pass through the application's
// translator, which may be consulted from any thread.
class HrcDocument
{
    Q_DECLARE_TR_FUNCTIONS(HrcTree)

public:
    static const char *const resourcePath; // ":/resources/hrc417.xml"
    // testParam's treeID; a job's total of this value marks the test job.
    static const uint testParamTreeId = 50000;
    // The sets "read all" reads and "write all" writes, in this order: every
    // setting the device keeps. As a job names them, and as a list.
    static const char *const allSets; // "configuration;otopKontur1;otopKontur2;GeneralParam"
    static const QStringList &allSetNames();

    HrcDocument() = default;
    explicit HrcDocument(const QDomDocument &document);

    // Parses the file (or resource). On failure the document stays null and
    // *errorMessage gets "Ошибка разбора в строке %1, символ %2:\n%3", or the
    // file's error text when it cannot be opened.
    static HrcDocument load(const QString &fileName, QString *errorMessage = nullptr);
    static HrcDocument parse(const QByteArray &content, QString *errorMessage = nullptr);

    bool isNull() const { return m_document.isNull() || m_document.documentElement().isNull(); }
    QDomDocument document() const { return m_document; }
    QDomElement allParams() const;
    QDomElement testParam() const;

    // First element in depth-first document order, beginning with start itself,
    // whose namekavu equals name ignoring case; null if none.
    static QDomElement findElement(const QDomElement &start, const QString &name);
    // findElement below allparams; finds sets as well as parameters.
    QDomElement findParameter(const QString &name) const;
    // The set or parameter whose treeID attribute is id (null if none); the
    // worker-side way back from a reported identifier to its element.
    QDomElement findByTreeId(uint id) const;

    // The parsed description of a parameter element. Parameters below
    // allparams are parsed once when the document is made; other elements
    // (the test parameter, a point's X/Y) are parsed on each call.
    ParameterSpec spec(const QDomElement &element) const;

    // Reads (newValue empty) or sets and reads the value of the named element;
    // "e_r_r" when no element has that name. A point's X/Y children follow.
    QString paramValue(const QString &name, const QString &newValue = QString());

    // The display form of an attribute ("" means "value").
    QString displayText(const QDomElement &element, const QString &attribute = QString()) const;

    static bool isSet(const QDomElement &e) { return e.tagName() == QLatin1String("parameterset"); }
    static bool isParameter(const QDomElement &e) { return e.tagName() == QLatin1String("parameter"); }
    // The parameter itself, or every parameter of a set and its subsets, in
    // document order.
    static QVector<QDomElement> parametersAt(const QDomElement &element);
    // The type attribute as the description writes it ("float", "enum", ...),
    // for display and the test panel; code decides by spec().kind.
    static QString typeName(const QDomElement &e) { return e.attribute(QStringLiteral("type")); }
    static bool isPoint(const QDomElement &e) { return ParameterSpec::kindOf(e.attribute(QStringLiteral("type")), e.attribute(QStringLiteral("subtype"))) == ValueKind::Point; }
    static bool isPointHalf(const QDomElement &e)
    {
        return e.tagName() == QLatin1String("X") || e.tagName() == QLatin1String("Y");
    }
    static bool isEditable(const QDomElement &e)
    {
        return isParameter(e) && !e.hasAttribute(QStringLiteral("ivparam")) && !e.hasAttribute(QStringLiteral("readonly"));
    }
    // Whether a parameter takes part in comparisons with the device: a
    // setting the device keeps and the engineer may write (not polled, not
    // read-only, not the program's own, not the clock).
    static bool isCompared(const QDomElement &parameter);
    static bool hasProblemCode(const QDomElement &e);
    // The last job never reached the parameter (its set's deadline had passed
    // or the job was cancelled, or the port was lost): the engineer's value stands, still unsent.
    static bool wasNotExchanged(const QDomElement &e);

    // "Установить время компьютера": a clock value that is the computer's time
    // at the moment it is sent. The element keeps the time it was asked for as
    // its value (a valid date-time for files and comparisons) and the same
    // text in the run-time attribute "computerTime"; any other value voids the
    // mark. Until then the value shows as "время компьютера".
    static void setComputerTime(QDomElement element, const QString &askedAt);
    static bool holdsComputerTime(const QDomElement &element);
    // The value to send: the computer's time now for a marked clock value,
    // otherwise the value as it stands.
    static QString valueToSend(const QDomElement &element);

    // The first X and Y child of a point parameter (null if not built yet).
    static QDomElement pointX(const QDomElement &point) { return point.firstChildElement(QStringLiteral("X")); }
    static QDomElement pointY(const QDomElement &point) { return point.firstChildElement(QStringLiteral("Y")); }

    // Gives a point parameter its X and Y children: limits from the parent's
    // limits, parentID from its treeID. A pair already present is refreshed and
    // reused (its value kept), so rebuilding a tree does not grow the document.
    static void preparePointChildren(QDomElement point);

    // Sets the values of the point's X and Y to the two halves of value (when
    // it has at least two ";"-parts).
    static void setPointHalves(const QDomElement &point, const QString &value);

    // After a read of the device that was to keep the document's values
    // (before: name -> value as they stood): each compared parameter whose
    // value differs from what the read left takes its value back. A parameter
    // read successfully keeps the device's value as its undo value (a change
    // to write); one not read keeps its problem mark. Values only the device
    // sets, and parameters without a value before, stay as read. Returns the
    // parameters given back, in name order, with whether each was read.
    struct KeptValue
    {
        QString name;
        bool wasRead = false;
    };
    QVector<KeptValue> keepValuesAfterRead(const QMap<QString, QString> &before);

    // The state a tree row of the element shows: normal, an edit still to
    // write (changed) or a failed exchange (problem); and apart from it,
    // whether the row's reason is marked as a problem (a parameter the last
    // job left out or did not read back, whose value and colour stay). Kept
    // in the element, so that the commands that write only changed
    // parameters, the problem navigation and the filters select rows by the
    // document's state; the tree paints the row from it.
    enum class RowMark { Normal, Changed, Problem };
    static RowMark rowMark(const QDomElement &e);
    static void setRowMark(QDomElement e, RowMark mark);
    static bool hasProblemReason(const QDomElement &e);
    static void setProblemReason(QDomElement e, bool problem);
    static bool isProblemRow(const QDomElement &e) { return rowMark(e) == RowMark::Problem || hasProblemReason(e); }
    static bool isChangedRow(const QDomElement &e) { return rowMark(e) == RowMark::Changed; }

    // After the engineer's edit of e (its value was `before`): keeps the value
    // the device holds as undoValue. A device link setting edited again
    // before it was exchanged keeps the value still in force on the device
    // (the next connection needs that one); where link edits are in force at
    // once (linkSettingsAtOnce) it keeps none. Local settings ("Port",
    // "TimeOut") are never exchanged and are in force at once anyway; they
    // keep the value before their last edit like any other.
    static void keepUndoValue(QDomElement e, const QString &before, bool linkSettingsAtOnce);

    // Lists over every non-local parameter of allparams in document order.
    QStringList baseNames() const;
    QStringList types() const;
    // "Время" (translated) and ";" + label for every polled parameter.
    QString logHeader() const;

    // A caption or entry of the document through the run-time translator.
    static QString translated(const QString &text);

private:
    QDomDocument m_document;
    // Parsed parameters of allparams by namekavu; shared by copies.
    QSharedPointer<const QHash<QString, ParameterSpec>> m_specs;
};
