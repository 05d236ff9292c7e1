#include "Simulation.h"

#include "Clock.h"

Simulation::Simulation(const Scenario &scenario) : Simulation(scenario, std::make_unique<VirtualClock>(), nullptr) {}

Simulation::Simulation(const Scenario &scenario, Clock &clock) : Simulation(scenario, nullptr, &clock) {}

Simulation::Simulation(const Scenario &scenario, std::unique_ptr<VirtualClock> owned, Clock *clock)
    : m_ownedClock(std::move(owned)), m_clock(clock ? *clock : *m_ownedClock), m_instrument(m_clock, scenario),
      m_line(m_instrument, m_clock), m_bridge(m_line), m_discovery(m_line, m_bridge.DevicePath())
{
    m_line.SetFaults(scenario.faults);
}

Simulation::~Simulation() = default;
