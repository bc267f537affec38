#include "app/application.h"
#include "commands.h"
