#pragma once

// Where porute2avi's message catalogue is found, one file per system
// (CataloguePosix.cpp, CatalogueWin32.cpp). Made once, at the start of main,
// before any text is shown.
//
// The messages follow the user's language; numbers keep the C locale's form
// everywhere, since --json and --report are read by programs and a decimal
// comma would make them invalid.
void StartTranslations();
