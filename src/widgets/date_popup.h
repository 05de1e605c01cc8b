#pragma once

class QDateEdit;

// Makes the calendar that pops up from the date edit show every row of its month. The calendar
// sizes itself from its font alone; a skin that pads the days more makes the rows taller than
// that, and the last week would be cut off. Each time the calendar shows, it is made as much
// taller as its rows need (and kept on the screen). The calendar is made as late as the date
// edit makes it: when it is first pressed or typed into.
void showWholeMonth(QDateEdit *edit);
