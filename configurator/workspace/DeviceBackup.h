#pragma once

#include "BackupStore.h"

#include <QString>

class HrcDocument;
class QWidget;

// The windows' side of the automatic backups: the device's values as this
// document knows them, saved in the background; a backup that cannot be
// written is said once per run of the program, in a message that does not
// hold up the job.
namespace DeviceBackup {

// Saves what the device reported last for each parameter (see
// BackupStore::deviceValues) under the device's folder; nothing when no
// value of the device is known yet.
void save(const HrcDocument &document, const QString &action, QWidget *window);

// Actions of the file names.
using BackupAction::init;
using BackupAction::read;
using BackupAction::write;
using BackupAction::writeBranch;
using BackupAction::writeChanged;
using BackupAction::writeOne;

} // namespace DeviceBackup
