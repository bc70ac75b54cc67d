// Function-key messages in the running program.
#pragma once

// Composes message `index` (0 for F1) into the typing pane and hands it to transmission.
void SendFKeyMessage(int index);

// Sets the captions of the nine function-key buttons from the message labels.
void UpdateFKeyButtons();

// One clock tick of auto-repeat: sends the repeated key when its pause is over.
void RunAutoRepeatTick();
