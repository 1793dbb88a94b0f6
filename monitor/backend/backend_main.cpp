#include "monitor/backend/cups_backend.h"

int main(int argc, char* argv[]) { return nimbra::RunBackend(argc, argv); }
