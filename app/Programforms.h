#pragma once
// The program's windows, created in the order their start-up relies on: the main window first
// (it becomes the application's main form), then the dialogs it reaches through their globals.
void CreateProgramForms();
