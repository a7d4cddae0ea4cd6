#pragma once

#include "picture/RecordingSurface.h"
#include "script/ScriptHost.h"
#include "window/Form1.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace zm::test {

// The program driven by a key script, recording every operation. frameK holds
// the control angle each time the program blocked waiting for a key.
struct Replay {
    picture::RecordingSurface rec;
    std::unique_ptr<script::ScriptHost> host;
    std::unique_ptr<Form1> form;
    std::vector<double> frameK;
    std::vector<int> waitFrame; // the frame each wait followed
    bool ended = false;

    explicit Replay(const std::string& script, const Mechanism& mechanism = Mechanism{}) {
        const int pumps = script::pumpsPerFrame(static_cast<int>(mechanism.profile.rows()));
        host = std::make_unique<script::ScriptHost>(script::parseScript(script, {}, pumps), &rec, [this] {
            frameK.push_back(form->k);
            waitFrame.push_back(host->frame());
        });
        form = std::make_unique<Form1>(rec, *host, mechanism);
        host->attach(*form);
        ended = host->play();
    }

    std::size_t count(Colour c) const {
        return static_cast<std::size_t>(
            std::count_if(rec.ops.begin(), rec.ops.end(), [c](const picture::Op& op) {
                return op.kind == picture::Op::Kind::line && op.colour == c;
            }));
    }
    std::size_t count(picture::Op::Kind k) const {
        return static_cast<std::size_t>(std::count_if(rec.ops.begin(), rec.ops.end(),
                                                      [k](const picture::Op& op) { return op.kind == k; }));
    }
    // The segments drawn in one colour, in order.
    std::vector<picture::Op> lines(Colour c) const {
        std::vector<picture::Op> out;
        for (const picture::Op& op : rec.ops) {
            if (op.kind == picture::Op::Kind::line && op.colour == c) {
                out.push_back(op);
            }
        }
        return out;
    }
};

// A Form1 with its constants set as at activation, outside any sweep.
struct Bench : Host {
    picture::RecordingSurface rec;
    Form1 form;
    int pumps = 0;
    explicit Bench(const Mechanism& mechanism = Mechanism{}) : form(rec, *this, mechanism) {
        form.fillProfileTables();
        form.pi = std::atan(1.0) * 4;
        form.ste = 0.25;
        form.ww = 65;
        form.k0 = 4.5;
        form.k = 4.5;
    }
    std::size_t count(Colour c) const {
        return static_cast<std::size_t>(std::count_if(rec.ops.begin(), rec.ops.end(),
                                                      [c](const picture::Op& op) { return op.colour == c; }));
    }
    void doEvents() override { ++pumps; }
    void waitForEvents() override {}
};

// A host that steps the sweep on at every wait, so that Form1::run draws the
// whole sweep and returns.
struct SweepHost : Host {
    Form1* form = nullptr;
    void doEvents() override {}
    void waitForEvents() override { form->Form_KeyPress('x'); }
};

} // namespace zm::test
