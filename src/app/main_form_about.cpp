#include "main_form.h"
#include "about_form.h"

void TForm1::setupAbout()
{
    // Made once, after the user settings dialog, and kept for every showing.
    m_aboutForm = new TAboutForm(this);
}

void TForm1::NavBtn7Click() { m_aboutForm->exec(); }
