#include "main_form.h"

void TForm1::setupDiary() {}

void TForm1::NavBtn3Click() {}

void TForm1::NavBtn4Click() {}
