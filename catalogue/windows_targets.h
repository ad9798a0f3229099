// Windows history targets: recycle bin, document, find, run and network history, temporary files, last logon name, custom locations.
#pragma once

class SweepWorker;

void CleanRecycleBin(SweepWorker* worker, int* count, float* kb);
void CleanDocumentHistory(SweepWorker* worker, int* count, float* kb);
void CleanFindHistory(SweepWorker* worker, int* count, float* kb);
void CleanRunHistory(SweepWorker* worker, int* count, float* kb);
void CleanNetworkHistory(SweepWorker* worker, int* count, float* kb);
void CleanTempFiles(SweepWorker* worker, int* count, float* kb);
void CleanLogonUser(SweepWorker* worker, int* count, float* kb);
void CleanCustomLocations(SweepWorker* worker, int* count, float* kb);
