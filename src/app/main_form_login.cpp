#include "main_form.h"

void TForm1::setupLogin() {}

void TForm1::TabSheet3Show() {}
