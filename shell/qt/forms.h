// The windows that menu items open, one function each. The menu reaches them
// through TMainForm::ShowForm; each window is built on first use as a child
// of the main window and shown again afterwards.
#pragma once

class TMainForm;

// "ULA settings...": the timing dialog.
void ShowTimingForm(TMainForm& form);

// "Spectrum memory settings...": the memory and ROM set dialog.
void ShowMemorySetForm(TMainForm& form);

// "Palette settings...": the palette dialog.
void ShowPaletteForm(TMainForm& form);

// "File associations...": the file-association dialog, not waited for.
void ShowFormRegistry(TMainForm& form);

// "About": the about box, modal.
void ShowAboutForm(TMainForm& form);

// "Hardware state": the machine state window.
void ShowFormStateHardware(TMainForm& form);

// "AY-3-8910 state": the sound chip state window.
void ShowFormStateAY(TMainForm& form);

// "KR1818VG93 state": the floppy controller state window.
void ShowFormStateVG93(TMainForm& form);
