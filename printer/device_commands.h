#pragma once

class JobHost;

// One-shot jobs made of control codes only. Each writes its stream to the
// port named by the host's selector and reports its own failures; each tells
// whether its whole stream went out, so that a series of copies stops at a failure.
bool CutPaperJob(JobHost& host);
bool DrawerPulseJob(JobHost& host);
bool BarcodeJob(JobHost& host);
