// libNomix296 (being built).
#include "nomix296.h"
