#pragma once

class QApplication;

// Readies the application object for the tool's windows: the Chinese faces they ask for, and
// Qt's own texts (the message boxes' buttons, the edit fields' menus) in Chinese, since the
// tool's interface is Chinese whatever the locale. The error descriptions the jobs give still
// follow the locale. Call once, right after the application object exists.
void prepareApplication(QApplication& app);
