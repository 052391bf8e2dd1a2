// The factory the preferences host calls: DuolumePref_initWithBundle.
#include "pane/DuolumePref.h"

NS_PREFERENCE_PANE_PRINCIPAL_CLASS(DuolumePref)
