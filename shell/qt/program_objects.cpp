#include "shell/qt/program_objects.h"

TProgramObjects::TProgramObjects(TMainFormOptions options)
    : form_(std::make_unique<TMainForm>(std::move(options))),
      machine_(std::make_unique<TZXHardware>(form_.get())) {
  form_->AttachMachine(machine_.get());
}

TProgramObjects::~TProgramObjects() {
  form_->FormClose();
  form_->AttachMachine(nullptr);  // nothing of the window refers to the machine any more
  machine_.reset();
  form_.reset();
}
