#pragma once
// Binds the output reactions to the main window's controls and menu items: the naming controls, the format
// buttons, 立即保存, the save and edit buttons, 打开保存文件夹, and the menu items "保存抓图", "编辑抓图" and
// "编辑上次抓图". Idempotent; may run before the window exists.
void BindOutputControls();
