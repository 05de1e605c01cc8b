#include "skin_data.h"
#include "errors.h"
#include "skin_store.h"

#include "platform/notice.h"

#include <QApplication>
#include <QStyle>
#include <QWidget>

TSkinData::TSkinData(QObject *parent) : QObject(parent), m_styleTemplate(skin::styleTemplate()) {}

void TSkinData::LoadSkinFromStore(const TSkinStore *store, int index)
{
    if (index >= store->Count())
        return;
    const TSkinStore::TSkinItem &item = store->Item(index);
    skin::SkinPackage package = skin::decodePackage(item.DataStream, m_styleTemplate);
    if (package.version != skin::kFormatVersion) {
        notice::show(notice::Kind::Warning, QStringLiteral("Quillbook"), skin::text::olderSkinFile());
        return;
    }
    m_current = std::move(package);
    m_currentName = item.Name;
    apply();
}

void TSkinData::apply()
{
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!app)
        return;
    QApplication::setPalette(m_current.palette);
    // Setting the application's style sheet polishes every existing widget again.
    app->setStyleSheet(m_current.styleSheet);
}

void TSkinData::ReskinForm(QWidget *form)
{
    QList<QWidget *> widgets = form->findChildren<QWidget *>();
    widgets.prepend(form);
    for (QWidget *w : widgets) {
        QStyle *style = w->style();
        style->unpolish(w);
        style->polish(w);
        w->update();
    }
}
