#pragma once

#include <QString>

// This computer, as the files the program keeps for one computer only are named inside a diary
// folder that a sync program may copy to other computers (drafts, earlier versions): so that
// another computer's files that arrive there are told from this one's.
namespace host {

// Eight lower-case hex digits: the start of SHA-256 over a fixed label and the system's machine
// id (/etc/machine-id), else the host name. The same on every run of this computer; the machine
// id itself is not revealed.
QString tag();

// Tests only: the tag of "another computer" (empty: this one's again).
void setTagForTesting(const QString &tag);

} // namespace host
