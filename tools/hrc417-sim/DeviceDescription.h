// The parameters a simulated device answers for, loaded from the XML device
// description, and their lookup by name hash, index and channel.
#pragma once

#include "ParameterSpec.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

#include <cstdint>

class DeviceDescription {
public:
    // Loads every non-local parameter below allparams. false with error set
    // when the file cannot be read or parsed or holds no parameters.
    bool load(const QString& path, QString& error);

    const QVector<ParameterSpec>& parameters() const { return parameters_; }
    int find(const QString& name) const;  // exact namekavu, -1 if none
    // The parameters a name given by a person stands for (any case): the one
    // of that full name, else every one with that base name. Empty if none.
    QVector<int> named(const QString& name) const;

    // The parameter for a request: the hash of its base name, the index
    // carried in the request (-1 for none) and the channel (address offset).
    int find(uint16_t hash, int index, int channel) const;
    bool isIndexed(uint16_t hash) const { return indexedHashes_.contains(hash); }
    bool knowsHash(uint16_t hash) const { return baseByHash_.contains(hash); }
    // The base name behind a hash, for the exchange log ("" if unknown).
    QString baseName(uint16_t hash) const { return baseByHash_.value(hash); }
    int maxChannel() const { return maxChannel_; }
    // Hash collisions found while loading (two base names, one hash).
    const QStringList& warnings() const { return warnings_; }

private:
    static uint64_t key(uint16_t hash, int index, int channel);

    QVector<ParameterSpec> parameters_;
    QHash<QString, int> byName_;
    QHash<uint64_t, int> byKey_;
    QHash<uint16_t, QString> baseByHash_;
    QSet<uint16_t> indexedHashes_;
    int maxChannel_ = 0;
    QStringList warnings_;
};
