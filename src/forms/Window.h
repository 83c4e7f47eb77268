#pragma once

#include "platform/Form.h"

// What the windows' headers name: their base, and the controls, record sets and session
// they hold pointers to, declared once here.
class Binding;
class ComboBox;
class DataGrid;
class MemoBox;
class MemoIndex;
class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;
class RecordSet;
class TextBox;
struct Session;
