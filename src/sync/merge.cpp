// Merging conflict copies into a diary, entry by entry.
//
// The diary and each copy are two sides that went apart. For every day one side holds as other
// bytes than the other, or holds alone:
//   - in both, the same record: nothing to do;
//   - in both, different: when a common ancestor (below) holds one side's record, only the other
//     side changed it, and the change is kept; otherwise both changed it, the one written later
//     (by its stamp) is kept, and the other is set aside: it stays in the version that holds it
//     (the diary before the merge, or the copy moved into the versions);
//   - in one side only: with a common ancestor that holds it unchanged, the other side deleted
//     it and it stays deleted; held there changed, the other side deleted it and this side
//     changed it, and the change is kept; not held there, this side wrote it, and it is kept.
//     Without a common ancestor the entry is kept (nothing is lost), and named when it is older
//     than the newest entry both sides share: it may have been deleted on the other computer.
//
// The common ancestor is the diary as it was before the two went apart. Entries carry the
// stamps of when they were written, and a rewrite carries every other entry over unchanged, so
// the entries both sides still hold as the same bytes were there before the split; the newest
// of them that the candidate holds too is the latest moment known to lie before the split (a
// day an earlier merge took from the copy is held by both sides, yet was written after it). A
// candidate (the diary, the copy, then the kept versions, newest first) counts as the ancestor
// when
//   - every day it holds that one side still has unchanged and the other has not at all is no
//     newer than that moment (a day written after the split on one computer cannot be in it;
//     one written before it and deleted since, when the diary went on after it, is not), and
//   - every entry either side holds that it does not is newer than all of its own (both sides
//     were written on from it).
// A side itself serves when it is an ancestor of the other and the other has written since (its
// computer changed nothing); a side that merely lacks days may have deleted them or never had
// them, so it makes the other no ancestor. What that cannot tell: a version kept
// on one computer after the split whose entries are all older than the shared ones; and clocks
// of the two computers that disagree by more than the time between two entries mislead it. Both
// only matter for days that one side deleted; what the merge drops is named in its report and
// stays in the version kept before it.

#include "sync/diary_copies.h"

#include "archive/archive_lock.h"
#include "archive/archive_writer.h"
#include "archive/diary_password.h"
#include "crypto/entry_seal.h"
#include "crypto/private_format.h"
#include "crypto/private_header.h"
#include "sync/entry_sides.h"
#include "sync/sync_texts.h"
#include "versions/kept_versions.h"

#include <QBuffer>

#include <memory>
#include <vector>

namespace syncing {
namespace {

using detail::Contents;
using detail::Revision;
using detail::Side;

// How many kept versions are looked at for a common ancestor: rotation keeps about fifteen.
constexpr int kMaxAncestorCandidates = 24;

// Where a day of the merged diary comes from.
struct Ref {
    const Side *side = nullptr;
    Revision revision;
};

// The diary being merged, held in memory as where each day comes from, in the order the days
// will stand.
struct Merged {
    QHash<QByteArray, Ref> days;
    QList<QByteArray> order;

    const Ref *find(const QByteArray &name) const
    {
        const auto it = days.constFind(name);
        return it == days.cend() ? nullptr : &*it;
    }
    void put(const QByteArray &name, const Ref &ref)
    {
        if (!days.contains(name))
            order.append(name);
        days.insert(name, ref);
    }
    void drop(const QByteArray &name)
    {
        days.remove(name);
        order.removeOne(name);
    }
};

// The days of the merged diary and of one copy side by side, by the union of their names, so
// that each candidate ancestor is held against both in one pass over a vector.
struct Pairing {
    QHash<QByteArray, int> index;
    std::vector<const Ref *> mine;          // null where the merged diary has no such day
    std::vector<const Revision *> theirs;   // null where the copy has none

    Pairing(const Merged &merged, const Side &copy)
    {
        const qsizetype count = merged.order.size() + copy.order.size();
        index.reserve(count);
        mine.reserve(size_t(count));
        theirs.reserve(size_t(count));
        for (const QByteArray &name : merged.order) {
            index.insert(name, int(mine.size()));
            mine.push_back(merged.find(name));
            theirs.push_back(copy.find(name));
        }
        for (const QByteArray &name : copy.order) {
            if (index.contains(name))
                continue;
            index.insert(name, int(mine.size()));
            mine.push_back(nullptr);
            theirs.push_back(copy.find(name));
        }
    }

    // The newest stamp of the days both hold as the same bytes.
    std::optional<quint32> sharedUntil() const
    {
        std::optional<quint32> newest;
        for (size_t i = 0; i < mine.size(); ++i) {
            if (mine[i] && theirs[i] && mine[i]->revision.sameStored(*theirs[i]) && (!newest || theirs[i]->stamp > *newest))
                newest = theirs[i]->stamp;
        }
        return newest;
    }
};

bool isAncestor(const Side &candidate, const Pairing &pairing)
{
    if (candidate.entries.isEmpty())
        return false;
    std::vector<const Revision *> before(pairing.mine.size(), nullptr);
    quint32 newest = 0;
    for (auto it = candidate.entries.cbegin(); it != candidate.entries.cend(); ++it) {
        newest = qMax(newest, it->stamp);
        const auto at = pairing.index.constFind(it.key());
        if (at != pairing.index.cend())
            before[size_t(*at)] = &*it;
    }
    // The newest day all three hold as the same bytes (a day a merge took from the copy is
    // held by both sides, yet was written after the split).
    std::optional<quint32> shared;
    for (size_t i = 0; i < before.size(); ++i) {
        const Ref *mine = pairing.mine[i];
        const Revision *theirs = pairing.theirs[i];
        if (before[i] && mine && theirs && mine->revision.sameStored(*theirs) && theirs->sameStored(*before[i])
            && (!shared || theirs->stamp > *shared))
            shared = theirs->stamp;
    }
    for (size_t i = 0; i < before.size(); ++i) {
        const Revision *past = before[i];
        const Ref *mine = pairing.mine[i];
        const Revision *theirs = pairing.theirs[i];
        // Nothing written after the split: a day it holds as one side still has it, and the
        // other side has not at all, is no newer than the newest day all share.
        if (past) {
            const bool oneSided = mine ? !theirs && mine->revision.sameStored(*past) : theirs && theirs->sameStored(*past);
            if (oneSided && (!shared || past->stamp > *shared))
                return false;
        }
        // Both sides come from it: what either holds that it does not was written after it.
        if (mine && !(past && past->sameStored(mine->revision)) && mine->revision.stamp <= newest)
            return false;
        if (theirs && !(past && past->sameStored(*theirs)) && theirs->stamp <= newest)
            return false;
    }
    return true;
}

class Merger
{
public:
    Merger(const MergeRequest &request, MergeReport &report)
        : m_request(request), m_report(report), m_contents(request.key)
    {
    }

    void run();

private:
    void checkCopy(const Side &copy);
    const Side *findAncestor(const Side &copy, const Pairing &pairing);
    void mergeCopy(const Side &copy);
    // Takes the copy's day, when it can be read; false (reported) when not.
    bool take(const QByteArray &name, const Side &copy, const Revision &revision);
    QList<TArchiveWriter::NewEntry> newEntries(std::vector<std::unique_ptr<QByteArray>> &records,
                                               std::vector<std::unique_ptr<QBuffer>> &streams);
    void noteUnreadable(const QByteArray &name)
    {
        if (!m_report.unreadable.contains(name))
            m_report.unreadable.append(name);
    }

    const MergeRequest &m_request;
    MergeReport &m_report;
    Contents m_contents;
    std::unique_ptr<Side> m_diary;
    std::vector<std::unique_ptr<Side>> m_copies;
    std::vector<std::unique_ptr<Side>> m_versions;   // read when first needed
    bool m_versionsRead = false;
    QByteArray m_comment;
    Merged m_merged;
};

void Merger::checkCopy(const Side &copy)
{
    if (copy.isPrivate && !m_diary->isPrivate)
        throw EMergeRefused(sync_text::privateCopyOfPlainDiary(copy.path, m_diary->path));
    if (!m_diary->isPrivate)
        return;
    if (!m_request.key)
        throw EMergeRefused(sync_text::needsPassword(m_diary->path));
    if (!copy.isPrivate || copy.comment == m_comment)
        return;
    // Another header: the same key under another password, or another key altogether. Only an
    // entry that opens tells; a copy without entries has its recovery line, which a new
    // password leaves as it was.
    bool sealedAny = false;
    for (const QByteArray &name : copy.order) {
        const Revision &revision = *copy.find(name);
        if (!revision.sealed())
            continue;
        sealedAny = true;
        if (m_contents.record(copy, revision))
            return;
    }
    const QByteArray recovery = m_comment.split('\n').value(2);
    if (!sealedAny && !recovery.isEmpty() && copy.comment.split('\n').value(2) == recovery)
        return;
    throw EMergeRefused(sync_text::otherKey(copy.path, m_diary->path));
}

const Side *Merger::findAncestor(const Side &copy, const Pairing &pairing)
{
    // One side is the other's past only when the other has written something since: a side
    // that merely lacks days may have deleted them, or never had them (a copy merged before).
    bool copyWrote = false;
    bool diaryWrote = false;
    for (size_t i = 0; i < pairing.mine.size(); ++i) {
        const Ref *mine = pairing.mine[i];
        const Revision *theirs = pairing.theirs[i];
        copyWrote = copyWrote || (theirs && !(mine && mine->revision.sameStored(*theirs)));
        diaryWrote = diaryWrote || (mine && !(theirs && theirs->sameStored(mine->revision)));
    }
    if (copyWrote && isAncestor(*m_diary, pairing))
        return m_diary.get();
    if (diaryWrote && isAncestor(copy, pairing))
        return &copy;
    if (!m_versionsRead) {
        m_versionsRead = true;
        const QList<versions::Version> kept = versions::list(m_diary->path);
        for (qsizetype i = 0; i < kept.size() && i < kMaxAncestorCandidates; ++i) {
            // A version that cannot be read is no ancestor; the merge goes on without it.
            try {
                m_versions.push_back(detail::readSide(kept[i].path));
            } catch (const Exception &) {
            }
        }
    }
    for (const std::unique_ptr<Side> &version : m_versions) {
        if (isAncestor(*version, pairing))
            return version.get();
    }
    return nullptr;
}

bool Merger::take(const QByteArray &name, const Side &copy, const Revision &revision)
{
    // Only days stored under their own names: a sealed day opens only under its name, and
    // another program's entry in a folder of the archive is not a day of the diary.
    const bool ownName = copy.reader->Entry(revision.index).isOwnDiskName();
    if (!ownName || !m_contents.record(copy, revision)) {
        noteUnreadable(name);
        return false;
    }
    m_merged.put(name, {&copy, revision});
    return true;
}

void Merger::mergeCopy(const Side &copy)
{
    // The pairing points into the merged days, which the merge below changes.
    std::optional<quint32> shared;
    const Side *ancestor = nullptr;
    {
        const Pairing pairing(m_merged, copy);
        shared = pairing.sharedUntil();
        ancestor = findAncestor(copy, pairing);
    }
    m_report.commonAncestor = m_report.commonAncestor || ancestor;
    const auto undecided = [&](quint32 stamp) { return !ancestor && (!shared || stamp <= *shared); };

    for (const QByteArray &name : copy.order) {
        const Revision &theirs = *copy.find(name);
        const Ref *mine = m_merged.find(name);
        const Revision *before = ancestor ? ancestor->find(name) : nullptr;
        bool unreadable = false;
        if (!mine) {
            if (before && m_contents.same(*ancestor, *before, copy, theirs, &unreadable)) {
                m_report.deletedThere.append(name);
            } else if (before) {
                if (take(name, copy, theirs))
                    m_report.keptChanged.append(name);
            } else if (take(name, copy, theirs)) {
                (undecided(theirs.stamp) ? m_report.keptUndecided : m_report.taken).append(name);
            }
            continue;
        }
        if (m_contents.same(*mine->side, mine->revision, copy, theirs, &unreadable))
            continue;
        if (unreadable) {
            noteUnreadable(name);
            continue;
        }
        if (before && m_contents.same(*ancestor, *before, *mine->side, mine->revision)) {
            if (take(name, copy, theirs))
                m_report.taken.append(name);
        } else if (before && m_contents.same(*ancestor, *before, copy, theirs)) {
            // Changed on this side only: it stays.
        } else if (theirs.stamp > mine->revision.stamp) {
            const QString loserIn = mine->side->path;
            if (take(name, copy, theirs))
                m_report.bothChanged.append({name, loserIn});
        } else {
            m_report.bothChanged.append({name, copy.path});
        }
    }

    // Days the copy does not hold.
    const QList<QByteArray> days = m_merged.order;
    for (const QByteArray &name : days) {
        if (copy.find(name))
            continue;
        const Ref &mine = *m_merged.find(name);
        const Revision *before = ancestor ? ancestor->find(name) : nullptr;
        if (before && m_contents.same(*ancestor, *before, *mine.side, mine.revision)) {
            m_merged.drop(name);
            m_report.deletedThere.append(name);
        } else if (before) {
            m_report.keptChanged.append(name);
        } else if (undecided(mine.revision.stamp)) {
            m_report.keptUndecided.append(name);
        }
    }
}

QList<TArchiveWriter::NewEntry> Merger::newEntries(std::vector<std::unique_ptr<QByteArray>> &records,
                                                   std::vector<std::unique_ptr<QBuffer>> &streams)
{
    QList<TArchiveWriter::NewEntry> entries;
    for (const QByteArray &name : m_merged.order) {
        const Ref &ref = *m_merged.find(name);
        if (ref.side == m_diary.get())
            continue;
        if (m_diary->isPrivate) {
            QByteArray payload;
            if (ref.revision.sealed()) {
                // Carried as it is stored: the merge never needs the text of a sealed day.
                if (!ref.side->reader->ExtractStoredData(ref.revision.index, payload)) {
                    noteUnreadable(name);
                    continue;
                }
            } else {
                payload = entry_seal::seal(*m_request.key, name, *m_contents.record(*ref.side, ref.revision));
            }
            entries.append({name, nullptr, private_format::kPrivateMethod, payload, ref.revision.stamp});
        } else {
            records.push_back(std::make_unique<QByteArray>(*m_contents.record(*ref.side, ref.revision)));
            streams.push_back(std::make_unique<QBuffer>(records.back().get()));
            streams.back()->open(QIODevice::ReadOnly);
            entries.append({name, streams.back().get(), std::nullopt, {}, ref.revision.stamp});
        }
    }
    return entries;
}

void Merger::run()
{
    ArchiveLock lock(m_request.diaryPath, ArchiveLock::Exclusive);
    m_diary = detail::readSide(m_request.diaryPath);
    m_comment = m_request.comment.isEmpty() ? m_diary->comment : m_request.comment;
    for (const ConflictCopy &copy : m_request.copies)
        m_copies.push_back(detail::readSide(copy.path));
    if (m_diary->isPrivate && !PrivateHeader::isPrivate(m_comment))
        throw EMergeRefused(sync_text::needsPassword(m_diary->path));
    for (const std::unique_ptr<Side> &copy : m_copies)
        checkCopy(*copy);

    for (const QByteArray &name : m_diary->order)
        m_merged.put(name, {m_diary.get(), *m_diary->find(name)});
    for (const std::unique_ptr<Side> &copy : m_copies)
        mergeCopy(*copy);

    if (m_diary->comment != m_comment)
        m_report.commentDropped.append(m_diary->path);
    for (const std::unique_ptr<Side> &copy : m_copies) {
        if (copy->comment != m_comment)
            m_report.commentDropped.append(copy->path);
    }

    std::vector<std::unique_ptr<QByteArray>> records;
    std::vector<std::unique_ptr<QBuffer>> streams;
    const QList<TArchiveWriter::NewEntry> entries = newEntries(records, streams);

    TArchiveWriter writer;
    writer.SetZipName(m_request.diaryPath);
    writer.SetPassword(QString::fromLatin1(kDiaryArchivePassword));
    writer.SetKeepVersionAlways(true);
    writer.OpenArchive();
    writer.ClearSelection();
    for (int i = 0; i < writer.EntryCount(); ++i) {
        const QByteArray name = writer.Entry(i).diskName();
        const Ref *kept = m_merged.find(name);
        // Every entry of a day the merge dropped; the others of a name stay as they are.
        writer.SelectEntry(i, !kept);
    }
    writer.SetArchiveCommentBytes(m_comment);
    writer.UpdateEntries(entries);
    m_report.diaryVersion = writer.LastKeptVersion();

    // The diary is merged; the copies go to its versions, taken at the same moment as the
    // diary's version so that rotation keeps or removes them together.
    const QDateTime taken = [&] {
        for (const versions::Version &v : versions::list(m_request.diaryPath)) {
            if (v.path == m_report.diaryVersion)
                return v.taken;
        }
        return QDateTime();
    }();
    for (const ConflictCopy &copy : m_request.copies)
        m_report.copyVersions.append(versions::keepFile(m_request.diaryPath, copy.path, taken));

    // Where each set-aside text is now.
    for (SetAside &aside : m_report.bothChanged) {
        if (aside.keptIn == m_request.diaryPath) {
            aside.keptIn = m_report.diaryVersion;
            continue;
        }
        for (qsizetype i = 0; i < m_request.copies.size(); ++i) {
            if (aside.keptIn == m_request.copies[i].path)
                aside.keptIn = m_report.copyVersions.value(i);
        }
    }
}

} // namespace

MergeReport mergeCopies(const MergeRequest &request)
{
    MergeReport report;
    Merger(request, report).run();
    return report;
}

} // namespace syncing
