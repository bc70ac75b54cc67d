#pragma once

// Opens the operator's manual (HTML beside the exe) at the page of a help context.
void OpenHelp(int context);
