#include "shell/app_state.h"

AppStateRecord AppState;
