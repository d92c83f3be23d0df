#include "state.h"

Str DestDir;
Str ReplacedList;
Str CopiedAsNewList;

bool AllUsers;
bool NoStartMenu;
bool NoStartUp;

bool StepFailed;
bool RestartNeeded;
