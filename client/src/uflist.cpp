#include "uflist.h"

ucUFList::ucUFList(QWidget *parent) : QWidget(parent) {}

void ucUFList::ClearEntries() {}
