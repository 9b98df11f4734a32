#pragma once

class WdxController;
class WdxModel;

// Every connection between the controller side and the device model, in the order the
// device side's assembly makes them: device reports into the model, the model's write
// requests into the sub-controllers, and its firmware requests into the update controller.
// Automatic connections throughout: both sides live on the user-interface thread.
void connectControllerToModel(WdxController *controller, WdxModel *model);
