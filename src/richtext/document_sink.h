#pragma once

#include "rtf_sink.h"

#include <QTextCharFormat>
#include <QTextCursor>

#include <map>
#include <tuple>

class QTextDocument;
class QTextList;

// Builds a QTextDocument from what the reader emits: all edits through one cursor inside one
// edit block, from construction to destruction. The document must be empty (one empty block)
// when the sink is made.
namespace richtext {

class DocumentSink : public RtfSink
{
public:
    explicit DocumentSink(QTextDocument &doc);
    ~DocumentSink() override;

    DocumentSink(const DocumentSink &) = delete;
    DocumentSink &operator=(const DocumentSink &) = delete;

    void text(const QString &text, const RunFormat &format) override;
    void endParagraph(const ParaFormat &format, const RunFormat &mark) override;
    void picture(const Picture &picture, const RunFormat &format) override;
    void table(const Table &table) override;

private:
    void insertTable(const Table &table);
    void replay(const std::vector<TableItem> &content);
    const QTextCharFormat &charFormat(const RunFormat &format);
    void startBlockIfNeeded();
    void joinList(const ParaFormat &format);

    QTextCursor m_cursor;
    bool m_blockEnded = false;     // the cursor's block is finished; the next content opens one
    int m_bulletRun = 0;           // old-style bullets separated by another paragraph make two lists
    std::map<std::tuple<int, int, int, int>, QTextList *> m_lists;
    bool m_haveLast = false;
    RunFormat m_lastRun;
    QTextCharFormat m_lastFormat;
};

// The document's forms of the reader's formats, shared with the writer's expectations.
QTextCharFormat toCharFormat(const RunFormat &format);
QTextBlockFormat toBlockFormat(const ParaFormat &format);

} // namespace richtext
