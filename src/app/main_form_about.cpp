#include "main_form.h"
#include "about_form.h"

void TForm1::setupAbout()
{
    // Made at its first showing, which few starts come to, and kept for every later one.
    m_aboutForm.setMaker([this] { return new TAboutForm(this); });
}

void TForm1::NavBtn7Click() { m_aboutForm->exec(); }
