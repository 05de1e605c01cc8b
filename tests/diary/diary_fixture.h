#pragma once

#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "platform/gbk.h"
#include "support/test_support.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTextDocument>

#include <memory>
#include <ostream>
#include <utility>
#include <vector>

// Shared by the diary tests: records as this program and as the rich edit control write them,
// and diaries made of them in a scratch folder.
// Readable failures.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace diary_testing {

inline QByteArray g(const QString &text)
{
    return gbk::encode(text);
}

// A record as this program saves it: the body's paragraphs under the two indices.
inline QByteArray ownRecord(int weather, int mood, const QString &body)
{
    QTextDocument doc;
    doc.setPlainText(body);
    return diary::makeRecord(doc, weather, mood);
}

// Adds the record under name to the archive at path, encrypted under another password than the
// diary's. One header in 256 passes the password check by chance under the wrong password (the
// entry then reads as damaged), so the entry is written again from the same archive, under the
// next seed, until the diary's password is refused outright: tests that expect
// EntryProblem::WrongPassword get it every run.
inline void storeUnderAnotherPassword(const QString &path, const QString &name, QByteArray record)
{
    const QByteArray before = testing_support::readFile(path);
    for (quint32 seed = 1;; ++seed) {
        {
            TArchiveWriter other;
            other.SetZipName(path);
            other.SetPassword(QStringLiteral("another"));
            other.SetSeedSource([seed] { return seed; });
            QBuffer stream(&record);
            stream.open(QIODevice::ReadOnly);
            other.AddFromStream(gbk::encode(name), stream);
        }
        TArchiveReader reader;
        reader.SetZipName(path);
        diary::EntryProblem problem = diary::EntryProblem::None;
        diary::readEntry(reader, gbk::encode(name), &problem);
        // Past a few dozen seeds something else is wrong: the test's own checks say what.
        if (problem == diary::EntryProblem::WrongPassword || seed == 64)
            return;
        testing_support::writeFile(path, before);
    }
}

// A record as the rich edit control of the older program streams it out on a GBK system: the
// given lines as paragraphs, every non-ASCII character as \'hh escapes of its GBK bytes.
inline QByteArray richEditRecord(const QStringList &lines)
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052"
                     "{\\fonttbl{\\f0\\fnil\\fprq2\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n"
                     "{\\colortbl ;\\red0\\green0\\blue255;}\r\n"
                     "\\viewkind4\\uc1\\pard\\cf1\\lang2052\\f0\\fs21 ";
    for (const QString &line : lines) {
        for (char c : g(line)) {
            const auto b = static_cast<unsigned char>(c);
            if (b >= 0x80)
                rtf += "\\'" + QByteArray::number(b, 16);
            else if (c == '\\' || c == '{' || c == '}')
                rtf += QByteArray("\\") + c;
            else
                rtf += c;
        }
        rtf += "\\par\r\n";
    }
    return rtf + "}\r\n";
}

// Writes a diary archive at path holding the entries (name, record) in that order, with a
// comment, in one rewrite. Entries are encrypted under password.
inline void writeDiary(const QString &path, const QList<std::pair<QString, QByteArray>> &entries,
                       const QString &password = diary::kArchivePassword)
{
    TArchiveWriter writer;
    writer.SetZipName(path);
    writer.SetPassword(password);
    writer.SetArchiveComment(QStringLiteral("53abcdefghijk"));
    std::vector<std::unique_ptr<QBuffer>> streams;
    QList<TArchiveWriter::NewEntry> items;
    for (const auto &[name, record] : entries) {
        streams.push_back(std::make_unique<QBuffer>());
        streams.back()->setData(record);
        streams.back()->open(QIODevice::ReadOnly);
        items.append({g(name), streams.back().get()});
    }
    if (items.isEmpty())
        writer.WriteArchive();
    else
        writer.AddFromStreams(items);
}

} // namespace diary_testing
