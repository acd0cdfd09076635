#pragma once

class JobHost;

// One-shot jobs made of control codes only. Each writes its stream to the
// port named by the host's selector and reports its own failures.
void CutPaperJob(JobHost& host);
void DrawerPulseJob(JobHost& host);
void BarcodeJob(JobHost& host);
