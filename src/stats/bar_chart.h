#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

// A small bar chart drawn with QPainter: a title, one bar per category (the months, the
// weekdays), each bar a stack of the series' values for that category, the largest total
// written at the top of the scale, and a legend of the series (with their sums) when there is
// more than one. Text and axis in the palette's colours (the skin's); the series in their own.
class TBarChart : public QWidget
{
    Q_OBJECT

public:
    struct Series {
        QString name;
        QColor colour;
        QList<qint64> values;   // one per category; missing ones count 0
    };

    explicit TBarChart(QWidget *parent = nullptr);

    void setChart(const QString &title, const QStringList &categories, const QList<Series> &series);
    QString title() const { return m_title; }
    const QList<Series> &series() const { return m_series; }
    // The stacked total of one category.
    qint64 total(int category) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int legendHeight(int width) const;

    QString m_title;
    QStringList m_categories;
    QList<Series> m_series;
};
