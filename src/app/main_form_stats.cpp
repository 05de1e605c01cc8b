#include "main_form.h"

#include "diary/diary_book.h"
#include "platform/message_box.h"
#include "stats/stats_page.h"
#include "stats/stats_texts.h"
#include "widgets/nav_button.h"

#include <QEvent>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

// Right after "看日记": it is shown and hidden with that button.
constexpr int kStatsButtonPlace = 2;

// Keeps one widget shown exactly while another is: the statistics button goes with "看日记",
// however the program comes to show or hide that one (a login, or anything that ends one).
class FollowVisibility : public QObject
{
public:
    FollowVisibility(QWidget *leader, QWidget *follower) : QObject(follower), m_follower(follower)
    {
        follower->setHidden(leader->isHidden());
        leader->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Sent by show() and hide() themselves, whether the window is on the screen or not.
        if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
            m_follower->setHidden(static_cast<QWidget *>(watched)->isHidden());
        return false;
    }

private:
    QWidget *m_follower;
};

} // namespace

void TForm1::setupStats()
{
    m_statsSheet = new QWidget;
    m_statsSheet->setObjectName(QStringLiteral("TabSheet4"));
    m_pageControl->addWidget(m_statsSheet);
    auto *layout = new QVBoxLayout(m_statsSheet);
    layout->setContentsMargins(0, 0, 0, 0);
    m_statsForm.setMaker([this] { return buildStatsPage(); });
    // However the sheet comes forward, the page it holds is there while it shows.
    connect(m_pageControl, &QStackedWidget::currentChanged, this, [this] {
        if (m_pageControl->currentWidget() == m_statsSheet)
            m_statsForm.get();
    });

    TNavButton *list = NavBtn(4);
    m_statsButton = makeNavButton(list->parentWidget(), kStatsButton, kStatsButtonPlace,
                                  stats_text::navCaption(), ":/nav/stats.svg");
    new FollowVisibility(list, m_statsButton);

    connect(m_statsButton, &TNavButton::clicked, this, [this] { guarded([this] { NavBtn8Click(); }); });
}

TStatsPage *TForm1::buildStatsPage()
{
    auto *page = new TStatsPage;
    m_statsSheet->layout()->addWidget(page);
    // A sheet on screen would lay the page out and show it only after the next events; it is
    // wanted now.
    if (m_statsSheet->isVisible()) {
        m_statsSheet->layout()->activate();
        page->show();
    }
    connect(page, &TStatsPage::entryChosen, this, [this](const QByteArray &name) {
        guarded([this, name] {
            // Only while the page shows the logged-in user's diary.
            if (m_keptPath == m_diaryPath)
                loadEntryNamed(name);
        });
    });
    return page;
}

void TForm1::NavBtn8Click()
{
    ShowStatistics();
}

void TForm1::ShowStatistics()
{
    // Leaving the write page saves the open entry first, so the figures count it.
    showPage(m_statsSheet);
    if (m_keptCurrent && m_keptPath == m_diaryPath) {
        m_statsForm->setRows(m_keptRows, diary::today());
        return;
    }
    const QString path = m_diaryPath;
    const diary::Listing listing = listDiary(nullptr);
    if (m_diaryPath != path)
        return;
    keepRows(listing, m_diaryPath);
    m_statsForm->setRows(m_keptRows, diary::today());
    listing.rethrowError();
}

void TForm1::keepRows(const diary::Listing &listing, const QString &path)
{
    m_keptRows = listing.rows;
    m_keptPath = path;
    // A listing cut short by an error is shown, but listed again next time.
    m_keptCurrent = !listing.error;
}
