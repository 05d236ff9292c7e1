#pragma once

#include "Scenario.h"
#include "SimulatedBridge.h"
#include "SimulatedDiscovery.h"
#include "SimulatedInstrument.h"
#include "SimulatedUartLine.h"

#include <memory>

class Clock;
class VirtualClock;

// A whole simulated instrument behind its bridge, set up from a scenario in one line:
//
//     Simulation sim(scenario, clock);
//     CFt260 link(sim.Bridge(), sim.Discovery(), clock);
//
// Without a clock it runs on a VirtualClock of its own (OwnedClock()).
class Simulation {
  public:
    explicit Simulation(const Scenario &scenario = Scenario());
    Simulation(const Scenario &scenario, Clock &clock);
    ~Simulation();
    Simulation(const Simulation &) = delete;
    Simulation &operator=(const Simulation &) = delete;

    Clock &GetClock() { return m_clock; }
    // The VirtualClock this simulation made for itself; null when it was given a clock.
    VirtualClock *OwnedClock() { return m_ownedClock.get(); }

    SimulatedInstrument &Instrument() { return m_instrument; }
    SimulatedUartLine &Line() { return m_line; }
    SimulatedBridge &Bridge() { return m_bridge; }
    SimulatedDiscovery &Discovery() { return m_discovery; }

  private:
    Simulation(const Scenario &scenario, std::unique_ptr<VirtualClock> owned, Clock *clock);

    std::unique_ptr<VirtualClock> m_ownedClock;
    Clock &m_clock;
    SimulatedInstrument m_instrument;
    SimulatedUartLine m_line;
    SimulatedBridge m_bridge;
    SimulatedDiscovery m_discovery;
};
