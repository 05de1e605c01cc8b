// RedNotebook's data folder: a month file "YYYY-MM.txt" a month, YAML keyed by the day, each day
// its text in txt2tags markup and its categories.
#include "import/readers.h"

#include "import/input_file.h"
#include "import/messages.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <yaml.h>

#include <memory>
#include <vector>

namespace diary_import {

namespace {

// ---- the YAML of a month file, read through libyaml into a small tree ----

// Nesting deeper than this is refused: a month file nests four levels.
constexpr int kMaxYamlDepth = 32;

struct YamlNode {
    enum class Kind { Null, Scalar, Map, List };
    Kind kind = Kind::Null;
    QString scalar;
    std::vector<YamlNode> children;   // a list's items, a map's values
    std::vector<QString> keys;        // a map's keys (as scalars), one for each value
};

struct YamlParser {
    yaml_parser_t parser;
    YamlParser() { yaml_parser_initialize(&parser); }
    ~YamlParser() { yaml_parser_delete(&parser); }
    YamlParser(const YamlParser &) = delete;
    YamlParser &operator=(const YamlParser &) = delete;
};

struct YamlEvent {
    yaml_event_t event;
    ~YamlEvent() { yaml_event_delete(&event); }
};

bool isNullScalar(const yaml_event_t &event)
{
    if (event.data.scalar.style != YAML_PLAIN_SCALAR_STYLE)
        return false;
    const QByteArrayView v(reinterpret_cast<const char *>(event.data.scalar.value), qsizetype(event.data.scalar.length));
    return v.isEmpty() || v == "~" || v == "null" || v == "Null" || v == "NULL";
}

// The first document of the bytes as a tree; false with *error (import_text::badYaml) when
// they are no YAML.
bool parseYaml(const QByteArray &bytes, const QString &fileName, YamlNode &root, QString *error)
{
    YamlParser p;
    yaml_parser_set_input_string(&p.parser, reinterpret_cast<const unsigned char *>(bytes.constData()),
                                 size_t(bytes.size()));
    // The open collections, innermost last, and the key waiting for its value in each map.
    struct Open {
        YamlNode node;
        QString key;
        bool haveKey = false;
    };
    std::vector<Open> open;
    bool done = false;
    auto place = [&](YamlNode node) {
        if (open.empty()) {
            root = std::move(node);
            done = true;
            return;
        }
        Open &top = open.back();
        if (top.node.kind == YamlNode::Kind::List) {
            top.node.children.push_back(std::move(node));
        } else if (!top.haveKey) {
            top.key = node.kind == YamlNode::Kind::Scalar ? node.scalar : QString();
            top.haveKey = true;
        } else {
            top.node.keys.push_back(top.key);
            top.node.children.push_back(std::move(node));
            top.haveKey = false;
        }
    };
    while (!done) {
        YamlEvent e;
        if (!yaml_parser_parse(&p.parser, &e.event)) {
            const yaml_mark_t mark = p.parser.problem_mark;
            *error = import_text::badYaml(fileName, int(mark.line) + 1, int(mark.column) + 1,
                                          QString::fromUtf8(p.parser.problem ? p.parser.problem : ""));
            return false;
        }
        switch (e.event.type) {
        case YAML_STREAM_END_EVENT:
            done = true;
            break;
        case YAML_SCALAR_EVENT: {
            YamlNode node;
            if (!isNullScalar(e.event)) {
                node.kind = YamlNode::Kind::Scalar;
                node.scalar = QString::fromUtf8(reinterpret_cast<const char *>(e.event.data.scalar.value),
                                                qsizetype(e.event.data.scalar.length));
            }
            place(std::move(node));
            break;
        }
        case YAML_ALIAS_EVENT:
            place(YamlNode());   // aliases are never expanded
            break;
        case YAML_SEQUENCE_START_EVENT:
        case YAML_MAPPING_START_EVENT:
            if (int(open.size()) >= kMaxYamlDepth) {
                const yaml_mark_t mark = e.event.start_mark;
                *error = import_text::badYaml(fileName, int(mark.line) + 1, int(mark.column) + 1,
                                              QStringLiteral("嵌套太深"));
                return false;
            }
            open.push_back({});
            open.back().node.kind = e.event.type == YAML_SEQUENCE_START_EVENT ? YamlNode::Kind::List
                                                                              : YamlNode::Kind::Map;
            break;
        case YAML_SEQUENCE_END_EVENT:
        case YAML_MAPPING_END_EVENT: {
            YamlNode node = std::move(open.back().node);
            open.pop_back();
            place(std::move(node));
            break;
        }
        default:
            break;
        }
    }
    return true;
}

// The words of a category's value: its entries (a map's keys, a list's items, a scalar).
QStringList wordsOf(const YamlNode &node)
{
    QStringList words;
    switch (node.kind) {
    case YamlNode::Kind::Scalar:
        words.append(node.scalar);
        break;
    case YamlNode::Kind::Map:
        for (size_t i = 0; i < node.children.size(); ++i) {
            const QStringList inner = wordsOf(node.children[i]);
            words.append(inner.isEmpty() ? node.keys[i]
                                         : node.keys[i] + QStringLiteral("：") + inner.join(QStringLiteral("、")));
        }
        break;
    case YamlNode::Kind::List:
        for (const YamlNode &item : node.children)
            words += wordsOf(item);
        break;
    case YamlNode::Kind::Null:
        break;
    }
    return words;
}

// ---- txt2tags ----

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

bool isPictureName(const QString &name)
{
    static const QRegularExpression picture(QStringLiteral("\\.(jpe?g|png|gif|bmp|webp)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return picture.match(name).hasMatch();
}

QString pictureSource(QString path)
{
    if (path.startsWith(QLatin1String("file://")))
        path = QUrl(path).toLocalFile();
    return path;
}

// The inline marks of one line, as HTML.
QString inlineHtml(const QString &line, QStringList *pictures)
{
    // Pieces that the marks must not touch (links, pictures, code, addresses, whose "//" is no
    // italic) stand aside as private-use placeholders until the marks are done.
    QStringList aside;
    auto putAside = [&aside](const QString &html) {
        aside.append(html);
        return QString(QChar(0xE000)) + QString::number(aside.size() - 1) + QChar(0xE001);
    };
    QString text = line;
    static const QRegularExpression code(QStringLiteral("``(.+?)``"));
    static const QRegularExpression bracket(QStringLiteral("\\[([^\\[\\]]+)\\]"));
    static const QRegularExpression quotedPicture(QStringLiteral("^\"\"(.+)\"\"(\\.[A-Za-z0-9]+)$"));
    static const QRegularExpression address(QStringLiteral("\\b[A-Za-z][A-Za-z0-9+.-]*://[^\\s\\]]+"));
    QString out;
    qsizetype done = 0;
    auto replaceAll = [&](const QRegularExpression &re, const std::function<QString(const QRegularExpressionMatch &)> &make) {
        QString result;
        qsizetype from = 0;
        for (auto it = re.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            result += QStringView(text).mid(from, m.capturedStart() - from);
            result += make(m);
            from = m.capturedEnd();
        }
        result += QStringView(text).mid(from);
        text = result;
    };
    replaceAll(code, [&](const QRegularExpressionMatch &m) {
        return putAside(QStringLiteral("<code>%1</code>").arg(escaped(m.captured(1))));
    });
    replaceAll(bracket, [&](const QRegularExpressionMatch &m) {
        const QString inside = m.captured(1);
        const QRegularExpressionMatch quoted = quotedPicture.match(inside);
        QString picture;
        if (quoted.hasMatch())
            picture = quoted.captured(1) + quoted.captured(2);
        else if (!inside.contains(u' ') && isPictureName(inside))
            picture = inside;
        if (!picture.isEmpty()) {
            const QString source = pictureSource(picture);
            pictures->append(source);
            return putAside(QStringLiteral("<img src=\"%1\" />").arg(escaped(source)));
        }
        const qsizetype space = inside.lastIndexOf(u' ');
        const QString target = inside.mid(space + 1);
        if (address.match(target).hasMatch() || target.startsWith(QLatin1String("www."))) {
            const QString label = space > 0 ? inside.left(space).trimmed() : target;
            return putAside(QStringLiteral("<a href=\"%1\">%2</a>").arg(escaped(target), escaped(label)));
        }
        return m.captured();
    });
    replaceAll(address, [&](const QRegularExpressionMatch &m) { return putAside(escaped(m.captured())); });
    text = escaped(text);
    for (const auto &[mark, tag] : {std::pair{"\\*\\*", "b"}, std::pair{"//", "i"}, std::pair{"__", "u"},
                                    std::pair{"--", "s"}}) {
        const QRegularExpression re(QStringLiteral("%1(?=\\S)(.+?)(?<=\\S)%1").arg(QLatin1String(mark)));
        text.replace(re, QStringLiteral("<%1>\\1</%1>").arg(QLatin1String(tag)));
    }
    static const QRegularExpression placeholder(QStringLiteral("\\x{E000}(\\d+)\\x{E001}"));
    for (auto it = placeholder.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(done, m.capturedStart() - done);
        const int index = m.captured(1).toInt();
        out += index < aside.size() ? aside[index] : QString();
        done = m.capturedEnd();
    }
    out += QStringView(text).mid(done);
    return out;
}

// Reads a picture a day names; false, with *why, when it cannot be had.
bool loadPicture(const QString &path, QHash<QString, QByteArray> &pictures, QString *why)
{
    if (pictures.contains(path))
        return true;
    QByteArray bytes;
    QString refusal;
    if (!QFileInfo::exists(path)) {
        *why = import_text::missingPicture(path);
        return false;
    }
    if (!readInputFile(path, kMaxFileSize, &bytes, &refusal)) {
        *why = import_text::fileUnreadable(path, refusal);
        return false;
    }
    pictures.insert(path, bytes);
    return true;
}

const QString kHtmlHead = QStringLiteral(
    "<html><head><meta name=\"qrichtext\" content=\"1\" />"
    "<style>p, li, h1, h2, h3, h4, h5 { white-space: pre-wrap; margin: 0; }</style></head><body>");

} // namespace

QString txt2tagsToHtml(const QString &text, QStringList *pictures)
{
    static const QRegularExpression heading(QStringLiteral("^\\s*(=|\\+){1,5}\\s*(.*?)\\s*\\1+\\s*(\\[[^\\]]*\\])?\\s*$"));
    static const QRegularExpression headingMarks(QStringLiteral("^\\s*([=+]{1,5})(?=[^=+])"));
    static const QRegularExpression listItem(QStringLiteral("^(\\s*)([-+]) (.*)$"));
    QString normal = text;
    normal.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QString html = kHtmlHead;
    struct List {
        int indent;
        QString tag;
    };
    QList<List> lists;
    auto closeLists = [&](int indent) {
        while (!lists.isEmpty() && lists.back().indent >= indent) {
            html += QStringLiteral("</%1>").arg(lists.back().tag);
            lists.removeLast();
        }
    };
    bool verbatim = false;
    for (const QString &line : normal.split(u'\n')) {
        if (line.trimmed() == QLatin1String("```")) {
            closeLists(0);
            verbatim = !verbatim;
            continue;
        }
        if (verbatim) {
            html += QStringLiteral("<pre>%1</pre>").arg(escaped(line));
            continue;
        }
        const QRegularExpressionMatch item = listItem.match(line);
        if (item.hasMatch()) {
            const int indent = int(item.capturedLength(1));
            const QString tag = item.captured(2) == u"+" ? QStringLiteral("ol") : QStringLiteral("ul");
            while (!lists.isEmpty() && (lists.back().indent > indent || (lists.back().indent == indent && lists.back().tag != tag)))
                closeLists(lists.back().indent);
            if (lists.isEmpty() || lists.back().indent < indent) {
                lists.append({indent, tag});
                html += QStringLiteral("<%1>").arg(tag);
            }
            html += QStringLiteral("<li>%1</li>").arg(inlineHtml(item.captured(3), pictures));
            continue;
        }
        closeLists(0);
        static const QRegularExpression rule(QStringLiteral("^\\s*[-=_]{4,}\\s*$"));
        if (rule.match(line).hasMatch()) {
            html += QStringLiteral("<hr />");
            continue;
        }
        const QRegularExpressionMatch h = heading.match(line);
        const QRegularExpressionMatch marks = headingMarks.match(line);
        if (h.hasMatch() && marks.hasMatch() && !h.captured(2).isEmpty()) {
            const int level = int(marks.capturedLength(1));
            html += QStringLiteral("<h%1>%2</h%1>").arg(level).arg(inlineHtml(h.captured(2), pictures));
        } else if (line.trimmed().isEmpty()) {
            html += QStringLiteral("<p style=\"-qt-paragraph-type:empty;\"><br /></p>");
        } else {
            html += QStringLiteral("<p>%1</p>").arg(inlineHtml(line, pictures));
        }
    }
    closeLists(0);
    return html + QStringLiteral("</body></html>");
}

bool isRedNotebookMonthName(const QString &fileName)
{
    static const QRegularExpression month(QStringLiteral("^(\\d{4})-(0[1-9]|1[0-2])\\.txt$"));
    return month.match(fileName).hasMatch();
}

bool isRedNotebookFolder(const QString &folder)
{
    for (const QString &name : QDir(folder).entryList({QStringLiteral("*.txt")}, QDir::Files)) {
        if (isRedNotebookMonthName(name))
            return true;
    }
    return false;
}

bool readRedNotebookMonth(const QByteArray &bytes, const QString &fileName, Reading &reading)
{
    const QString name = QFileInfo(fileName).fileName();
    const int year = name.left(4).toInt();
    const int month = name.mid(5, 2).toInt();
    YamlNode root;
    if (!parseYaml(bytes, name, root, &reading.refusal))
        return false;
    if (root.kind == YamlNode::Kind::Null)
        return true;   // a month without days
    if (root.kind != YamlNode::Kind::Map) {
        reading.refusal = import_text::unexpectedShape(name);
        return false;
    }
    for (size_t d = 0; d < root.children.size(); ++d) {
        const QString &key = root.keys[d];
        const YamlNode &value = root.children[d];
        bool isNumber = false;
        const int day = key.toInt(&isNumber);
        const QDate date(year, month, isNumber ? day : 0);
        const QString place = import_text::dayInMonthFile(name, key);
        if (!date.isValid()) {
            reading.skipped.append({place, import_text::badDate(QStringLiteral("%1-%2").arg(name.left(7), key))});
            continue;
        }
        Item item;
        item.date = date;
        item.place = place;
        QString text;
        if (value.kind == YamlNode::Kind::Scalar) {
            text = value.scalar;
        } else if (value.kind == YamlNode::Kind::Map) {
            for (size_t f = 0; f < value.children.size(); ++f) {
                const QString &field = value.keys[f];
                const YamlNode &content = value.children[f];
                if (field == u"text") {
                    text = content.scalar;
                } else if (field.compare(QLatin1String("tags"), Qt::CaseInsensitive) == 0 || field == u"标签") {
                    item.tags += wordsOf(content);
                } else {
                    const QStringList words = wordsOf(content);
                    item.notes.append(words.isEmpty() ? field : field + QStringLiteral("：") + words.join(QStringLiteral("、")));
                }
            }
        }
        QStringList pictures;
        item.markup = Item::Markup::Html;
        item.text = txt2tagsToHtml(text, &pictures);
        QString why;
        bool complete = true;
        for (const QString &picture : std::as_const(pictures))
            complete = complete && loadPicture(picture, item.pictures, &why);
        if (!complete) {
            reading.skipped.append({place, why});
            continue;
        }
        reading.items.append(item);
    }
    return true;
}

Reading readRedNotebook(const QString &folder)
{
    Reading reading;
    reading.format = import_text::redNotebook();
    reading.covers = QDir(folder).absolutePath();
    QStringList months;
    for (const QString &name : QDir(folder).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
        if (isRedNotebookMonthName(name))
            months.append(name);
    }
    for (const QString &name : std::as_const(months)) {
        QByteArray bytes;
        QString refusal;
        if (!readInputFile(QDir(folder).filePath(name), kMaxFileSize, &bytes, &refusal)) {
            reading.refusal = import_text::fileUnreadable(name, refusal);
            break;
        }
        if (!readRedNotebookMonth(bytes, name, reading))
            break;
    }
    if (!reading.refusal.isEmpty()) {
        // One month that cannot be read refuses the folder: nothing of it half imported.
        reading.items.clear();
        reading.skipped.clear();
    }
    return reading;
}

} // namespace diary_import
