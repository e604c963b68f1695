#pragma once

#include <QString>

// What the simulated cloud publishes when the user gives no files of their own. The rule set
// matches the tags that shdr-sim generates, so the two work together out of the box.
namespace cloud_samples {

// Rule set document: H1 (machine state, reference tag 1, generates summary records),
// HORIMETRO (2), ALARME (3) and SPINDLE (4), whose script rounds the speed and reports 0
// while the machine is not active (it is recalculated when H1 changes). Every rule is polled
// under the maker's protocol too.
QString Regras();

// Tag table: the four reference tags above with names, descriptions and units.
QString TabReferencia();

// Catalogue records ("|" between records, ";" between fields).
QString Fabricantes();  // ID;NOME
QString Linhas();       // ID_FABRICANTE;ID;NOME
QString Modelos();      // ID_FABRICANTE;ID_LINHA;ID;NOME (the first field is not read by the agent)

}  // namespace cloud_samples
