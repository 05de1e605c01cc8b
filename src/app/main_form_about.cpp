#include "main_form.h"

void TForm1::setupAbout() {}

void TForm1::NavBtn7Click() {}
