// The texts of the start-up message boxes, kept in the configuration's
// "Messages" section; key "Error" is the caption of all of them.
#pragma once

class CHashIni;

// The configuration the texts come from (not owned); null forgets it.
void SetMessageConfig(const CHashIni* config);

// "<text>\n" for the key's text, or "<key>\n" when the key is missing; the
// key itself when no configuration is set. The answer lives in one static
// buffer, valid until the next call.
const char* GetMessageText(const char* key);

// The caption of the start-up boxes: at most 255 characters of "Error" in
// "Messages", or "Error" when the key is missing.
const char* MessageCaption();

// Shows the key's text in a box with the caption and one OK button.
void ShowStartupMessage(const char* key);
