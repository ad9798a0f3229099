// Office recent-file lists (Word, Excel, Access, PowerPoint).
#pragma once

class SweepWorker;

void CleanWord(SweepWorker* worker, int* count, float* kb);
void CleanExcel(SweepWorker* worker, int* count, float* kb);
void CleanAccess(SweepWorker* worker, int* count, float* kb);
void CleanPowerPoint(SweepWorker* worker, int* count, float* kb);
